#include "base/clock.h"

#include <algorithm>
#include <thread>

namespace {

class SteadyClock final : public Clock {
 public:
  TimePoint Now() const override { return std::chrono::steady_clock::now(); }

  bool WaitFor(std::chrono::milliseconds duration, const std::atomic<bool>* cancel) override {
    constexpr std::chrono::milliseconds kSlice(10);
    const TimePoint end = Now() + duration;
    for (;;) {
      if (cancel != nullptr && cancel->load()) return false;
      const TimePoint now = Now();
      if (now >= end) return true;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kSlice, end - now));
    }
  }
};

}  // namespace

Clock& SystemClock() {
  static SteadyClock clock;
  return clock;
}
