#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where issue reports are posted. Empty (no host) means "not configured": reports are built
// and logged but not sent.
struct WebhookEndpoint {
  std::string scheme = "https";  // "https", or "http" for a local test server
  std::string host;
  uint16_t port = 443;
  std::string path = "/";

  bool IsConfigured() const { return !host.empty(); }
};

// Splits "scheme://host[:port]/path" (http or https; the port defaults to the scheme's; an IPv6
// host is written in brackets). An empty text gives the unconfigured endpoint; anything else
// that does not have this shape gives nullopt.
std::optional<WebhookEndpoint> ParseWebhookUrl(std::string_view url);

// The text ParseWebhookUrl reads back: scheme://host:port/path.
std::string WebhookUrl(const WebhookEndpoint& endpoint);

// The endpoint chosen at build time (the VLM_WEBHOOK_URL cache variable), exactly as given.
std::string ConfiguredWebhookUrl();
