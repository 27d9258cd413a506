#include "diag/webhook_endpoint.h"

// Set by the build from the VLM_WEBHOOK_URL cache variable; only this file sees it, so a new
// endpoint recompiles nothing else.
#ifndef VLM_WEBHOOK_URL
#define VLM_WEBHOOK_URL ""
#endif

std::string ConfiguredWebhookUrl() {
  return VLM_WEBHOOK_URL;
}
