#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/clock.h"

// A clock whose time moves only when the code under test pauses (or the test advances it):
// every pause is recorded and returns at once, so back-off rules are checked without waiting.
// With `realPause` each pause also yields for that long in real time, which lets a real
// transfer thread make progress while a polling loop spins through its virtual pauses.
class RecordingClock final : public Clock {
 public:
  explicit RecordingClock(std::chrono::milliseconds realPause = std::chrono::milliseconds(0))
      : realPause_(realPause) {}

  TimePoint Now() const override {
    std::lock_guard lock(mutex_);
    return now_;
  }

  bool WaitFor(std::chrono::milliseconds duration, const std::atomic<bool>* cancel) override {
    std::function<void()> hook;
    {
      std::lock_guard lock(mutex_);
      pauses_.push_back(duration);
      now_ += duration;
      hook = onPause;
    }
    if (hook) hook();
    if (realPause_.count() > 0) std::this_thread::sleep_for(realPause_);
    return cancel == nullptr || !cancel->load();
  }

  void Advance(std::chrono::milliseconds duration) {
    std::lock_guard lock(mutex_);
    now_ += duration;
  }

  // Pause lengths in milliseconds, in order.
  std::vector<int64_t> Pauses() const {
    std::lock_guard lock(mutex_);
    std::vector<int64_t> values;
    for (auto pause : pauses_) values.push_back(pause.count());
    return values;
  }

  // Runs inside every pause (after it is recorded), e.g. to cancel during a back-off.
  std::function<void()> onPause;

 private:
  mutable std::mutex mutex_;
  TimePoint now_{};
  std::vector<std::chrono::milliseconds> pauses_;
  std::chrono::milliseconds realPause_;
};
