#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/clock.h"

// Formatting shared by both transfers' throughput and completion log lines.

// `value` as printf's "%f" writes it (six decimals).
inline std::string FormatDouble(double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%f", value);
  return text;
}

// Whole milliseconds from `from` to `to`.
inline int64_t WholeMilliseconds(Clock::TimePoint from, Clock::TimePoint to) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}
