#pragma once

#include <atomic>

// Extracts one archive on a worker thread of its own.
// (Being built: only the flags that cancel and close use exist so far.)
class ZipEngine {
 public:
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> running{false};
};
