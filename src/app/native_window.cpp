#include "app/native_window.h"

#include <memory>

#include "app/window_messages.h"

bool NativeWindow::PostLatestScript(const std::string& key, std::string script) {
  std::lock_guard lock(latestMutex_);
  const auto [waiting, added] = latest_.try_emplace(key, std::move(script));
  if (!added) {
    waiting->second = std::move(script);  // its message is still queued and will run this one
    return true;
  }
  auto owned = std::make_unique<std::string>(key);
  if (!Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(owned.get()), kLatestScriptKey)) {
    latest_.erase(waiting);
    return false;
  }
  owned.release();  // the window procedure owns it now
  return true;
}

std::string NativeWindow::TakeLatestScript(const std::string& key) {
  std::lock_guard lock(latestMutex_);
  const auto waiting = latest_.find(key);
  if (waiting == latest_.end()) return std::string();
  std::string script = std::move(waiting->second);
  latest_.erase(waiting);
  return script;
}

void NativeWindow::ForgetLatestScripts() {
  std::lock_guard lock(latestMutex_);
  latest_.clear();
}
