#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

// Counts pieces of detached work that must not be cut off by the process's end (an issue report
// on its way to the webhook), so that the end can wait for them, within a bound.
//
// Promises: every Begin is matched by the End of the Scope it returns, whatever the work does;
// WaitUntilIdle returns true once nothing is in flight, false when `limit` passed first. Any
// thread may call any member.
class WorkInFlight {
 public:
  class Scope {
   public:
    explicit Scope(WorkInFlight& owner) : owner_(&owner) {}
    Scope(Scope&& other) noexcept : owner_(other.owner_) { other.owner_ = nullptr; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
    Scope& operator=(Scope&&) = delete;
    ~Scope() {
      if (owner_ != nullptr) owner_->End();
    }

   private:
    WorkInFlight* owner_;
  };

  [[nodiscard]] Scope Begin() {
    std::lock_guard lock(mutex_);
    ++count_;
    return Scope(*this);
  }

  bool WaitUntilIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, limit, [this] { return count_ == 0; });
  }

 private:
  void End() {
    std::lock_guard lock(mutex_);
    if (--count_ == 0) idle_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t count_ = 0;
};
