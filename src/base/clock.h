#pragma once

#include <atomic>
#include <chrono>

// Time and pauses for code that retries and backs off. Production code uses SystemClock();
// tests inject a clock that records pauses and never sleeps.
class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;

  // Monotonic time.
  virtual TimePoint Now() const = 0;

  // Pauses for `duration`. When `cancel` is given, the pause ends early once it reads true.
  // Returns true when the whole duration passed, false when it was cut short.
  virtual bool WaitFor(std::chrono::milliseconds duration, const std::atomic<bool>* cancel) = 0;
};

// The steady clock; pauses are sliced so that a cancel ends them within about 10 ms.
Clock& SystemClock();
