#pragma once

#include <atomic>

#include "bridge/callback_payload.h"

// Carries one download from start to end on a worker thread of its own.
// (Being built: only the flags that cancel and close use exist so far.)
class DownloadEngine : public CallbackPayload {
 public:
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> running{false};
};
