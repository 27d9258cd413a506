#include "bridge/page_callbacks.h"

#include <cstring>
#include <memory>

#include "app/app_context.h"
#include "app/native_window.h"
#include "app/window_messages.h"

std::string FormatScript(const char* scriptTemplate, const std::string& argument) {
  const char* hole = std::strstr(scriptTemplate, "{}");
  if (hole == nullptr) return scriptTemplate;
  std::string script(scriptTemplate, hole);
  script += argument;
  script += hole + 2;
  return script;
}

bool PostScriptToWindow(std::string script) {
  NativeWindow* window = g_app != nullptr ? g_app->hwnd : nullptr;
  if (window == nullptr) return false;
  auto owned = std::make_unique<std::string>(std::move(script));
  if (!window->Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(owned.get()), 0)) {
    return false;  // `owned` still holds the script and frees it
  }
  owned.release();  // the window procedure owns it now
  return true;
}

void PostActionProgress(const CallbackPayload& payload) {
  NativeWindow* window = g_app != nullptr ? g_app->hwnd : nullptr;
  if (window == nullptr) return;
  // Only the newest report of an action matters to the page: while the window thread is busy,
  // reports replace each other instead of filling its queue.
  window->PostLatestScript(payload.cbid,
                           FormatScript(kProgressScriptTemplate, EncodeCallbackPayload(payload)));
}

void PostActionComplete(const CallbackPayload& payload) {
  NativeWindow* window = g_app != nullptr ? g_app->hwnd : nullptr;
  if (window != nullptr && !window->IsVisible()) window->Show();
  PostScriptToWindow(FormatScript(kCompletionScriptTemplate, EncodeCallbackPayload(payload)));
}
