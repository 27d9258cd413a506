#include "app/native_window.h"

#include <memory>

#include "app/window_messages.h"

bool NativeWindow::PostLatestScript(const std::string& key, std::string script) {
  std::lock_guard lock(latestMutex_);
  if (const auto waiting = latest_.find(key); waiting != latest_.end()) {
    waiting->second = std::move(script);  // its message is still queued and will run this one
    return true;
  }
  const bool behind = waiting_ >= kLatestScriptBacklog;
  auto owned = std::make_unique<std::string>(behind ? key : std::move(script));
  if (!Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(owned.get()),
            behind ? kLatestScriptKey : kCountedScript)) {
    return false;
  }
  owned.release();  // the window procedure owns it now
  if (behind) latest_.emplace(key, std::move(script));
  ++waiting_;
  return true;
}

std::optional<std::string> NativeWindow::TakeSeriesScript(std::string carried, intptr_t lParam) {
  std::lock_guard lock(latestMutex_);
  if (waiting_ > 0) --waiting_;
  if (lParam != kLatestScriptKey) return carried;
  const auto waiting = latest_.find(carried);
  if (waiting == latest_.end()) return std::nullopt;
  std::string script = std::move(waiting->second);
  latest_.erase(waiting);
  return script;
}

void NativeWindow::ForgetLatestScripts() {
  std::lock_guard lock(latestMutex_);
  latest_.clear();
  waiting_ = 0;
}

bool NativeWindow::PostWorkProgress(std::optional<double> fraction) {
  std::lock_guard lock(latestMutex_);
  workProgress_ = fraction;
  if (workProgressQueued_) return true;  // the waiting message will carry this figure
  if (!Post(WM_WORK_PROGRESS, 0, 0)) return false;
  workProgressQueued_ = true;
  return true;
}

std::optional<double> NativeWindow::TakeWorkProgress() {
  std::lock_guard lock(latestMutex_);
  workProgressQueued_ = false;
  return workProgress_;
}
