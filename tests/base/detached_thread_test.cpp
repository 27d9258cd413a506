#include "base/detached_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

// Every worker that was started runs: a thread library that drops one in a few hundred (as the
// mingw-w64 one does with std::thread detached at once) would lose a download's completion.
TEST(DetachedThreadTest, EveryStartedBodyRunsOnce) {
  constexpr int kThreads = 2000;
  std::atomic<int> ran{0};
  for (int i = 0; i < kThreads; ++i) StartDetachedThread([&ran] { ran.fetch_add(1); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ran.load() < kThreads && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // A moment more shows that no body ran twice.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ran.load(), kThreads);
}
