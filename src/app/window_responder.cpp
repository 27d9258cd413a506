#include "app/window_responder.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "app/native_window.h"
#include "app/window_messages.h"
#include "base/page_results.h"
#include "bridge/page_callbacks.h"

bool PostScriptTo(NativeWindow& window, std::string script) {
  auto owned = std::make_unique<std::string>(std::move(script));
  if (!window.Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(owned.get()), 0)) {
    return false;  // `owned` still holds the script and frees it
  }
  owned.release();  // the window procedure owns it now
  return true;
}

void WindowResponder::Progress(const CallbackPayload& payload) {
  std::lock_guard lock(mutex_);
  if (window_ == nullptr) return;
  // Only the newest report of an action matters to the page: while the window thread is busy,
  // reports replace each other instead of filling its queue.
  window_->PostLatestScript(payload.cbid,
                            FormatScript(kProgressScriptTemplate, EncodeCallbackPayload(payload)));
  if (payload.todo > 0) {
    window_->PostWorkProgress(
        std::min(1.0, static_cast<double>(payload.done) / static_cast<double>(payload.todo)));
  }
}

void WindowResponder::Complete(const CallbackPayload& payload) {
  std::lock_guard lock(mutex_);
  if (window_ == nullptr) return;
  if (!window_->IsVisible()) window_->Show();
  PostScriptTo(*window_, FormatScript(kCompletionScriptTemplate, EncodeCallbackPayload(payload)));
  // Actions that report progress (downloads, extractions) name their route: their end ends
  // what the taskbar shows, and their failure is the user's to see.
  if (payload.jsp.empty()) return;
  window_->PostWorkProgress(std::nullopt);
  if (payload.result != page_result::kSuccess && payload.result != page_result::kCancelled) {
    window_->Post(WM_ATTENTION, 0, 0);
  }
}

void WindowResponder::RequestAttention() {
  std::lock_guard lock(mutex_);
  if (window_ != nullptr) window_->Post(WM_ATTENTION, 0, 0);
}

bool WindowResponder::PostScript(std::string script) {
  std::lock_guard lock(mutex_);
  return window_ != nullptr && PostScriptTo(*window_, std::move(script));
}

void WindowResponder::Retarget(NativeWindow* window) {
  std::lock_guard lock(mutex_);
  window_ = window;
}
