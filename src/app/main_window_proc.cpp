#include "app/main_window_proc.h"

#include <memory>
#include <string>

#include "app/app_context.h"
#include "app/native_window.h"
#include "app/setup_web_view.h"
#include "app/web_view.h"
#include "app/window_messages.h"

namespace {

void PostOwnedScript(NativeWindow& window, std::string script) {
  auto owned = std::make_unique<std::string>(std::move(script));
  if (window.Post(WM_RUN_SCRIPT, reinterpret_cast<uintptr_t>(owned.get()), 0)) owned.release();
}

bool PageCanAnswer(const SetupWebView& host) {
  return host.m_webView != nullptr && host.m_webView->IsPageAlive();
}

}  // namespace

bool MainWindowProc(NativeWindow& window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_DESTROY:
      window.PostQuit(0);
      return true;
    case WM_CLOSE:
      if (g_setupWebView != nullptr && PageCanAnswer(*g_setupWebView)) {
        NativeWindow* target = g_app != nullptr && g_app->hwnd != nullptr ? g_app->hwnd : &window;
        PostOwnedScript(*target, kRequestCloseScript);
      } else {
        // Nothing can answer the close request; keeping the window would trap the user.
        window.Post(WM_DESTROY_NOW, wParam, lParam);
      }
      return true;
    case WM_RUN_SCRIPT: {
      std::unique_ptr<std::string> script(reinterpret_cast<std::string*>(wParam));
      if (script && g_setupWebView != nullptr && g_setupWebView->m_webView != nullptr) {
        g_setupWebView->m_webView->ExecuteScript(*script);
      }
      return true;
    }
    case WM_CLOSE_REQUEST:
      window.Post(WM_CLOSE, wParam, lParam);
      return true;
    case WM_DESTROY_NOW:
      window.Destroy();
      return true;
    default:
      return false;
  }
}
