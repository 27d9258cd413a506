#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "base/hresult.h"
#include "base/page_results.h"
#include "net/failure_kind.h"

// The direct transfer's retry rule and progress cadence (download/direct_transfer.h), the same
// whichever HTTP client carries it: both backends of net/http_session.h report failures as
// WinHTTP numbers.

// Retries after the first send: at most 7 attempts in all (a send through the system's proxy
// after a direct connection could not be made belongs to the attempt before it).
inline constexpr int32_t kDirectMaxRetries = 6;
// How often a throughput line is logged while the body arrives.
inline constexpr int64_t kThroughputSampleIntervalMs = 2000;
// Progress goes to the page at least this often while bytes arrive, besides once per block.
inline constexpr int64_t kProgressReportIntervalMs = 1000;

// Failures worth another send (net/failure_kind.h).
inline bool IsRetryableDirectError(uint32_t error) {
  return IsRetryableNetworkError(error);
}

// The pause before retry number `attempt` (0 for the first): 1 s doubling, at most 30 s.
inline std::chrono::milliseconds DirectRetryPause(int32_t attempt) {
  return std::chrono::milliseconds(std::min<int64_t>(int64_t{1000} << attempt, 30000));
}
