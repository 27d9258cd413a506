#include "app/main_window_proc.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/native_window.h"
#include "app/window_messages.h"
#include "app/window_responder.h"

namespace {

// The script a WM_RUN_SCRIPT carries, or for a series the one it stands for (none when that
// already ran).
std::optional<std::string> ScriptOf(NativeWindow& window, std::string carried, intptr_t lParam) {
  if (lParam == 0) return carried;
  return window.TakeSeriesScript(std::move(carried), lParam);
}

// `first` and the scripts queued right behind it, in order, up to kScriptBatchBytes.
std::vector<std::string> TakeScriptBurst(NativeWindow& window, std::string first) {
  std::vector<std::string> scripts;
  size_t bytes = first.size();
  scripts.push_back(std::move(first));
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  while (bytes < kScriptBatchBytes && window.TakeQueued(WM_RUN_SCRIPT, wParam, lParam)) {
    std::unique_ptr<std::string> next(reinterpret_cast<std::string*>(wParam));
    if (!next) continue;
    std::optional<std::string> script = ScriptOf(window, std::move(*next), lParam);
    if (!script) continue;
    bytes += script->size();
    scripts.push_back(std::move(*script));
  }
  return scripts;
}

}  // namespace

std::string BatchScripts(const std::vector<std::string>& scripts) {
  if (scripts.size() == 1) return scripts.front();
  static constexpr char kOpen[] = "try{\n";
  // Reporting must not throw either: a page may have replaced console.error.
  static constexpr char kClose[] = "\n}catch(e){try{console.error(e);}catch(_){}}\n";
  size_t size = 0;
  for (const std::string& script : scripts) size += script.size() + sizeof kOpen + sizeof kClose;
  std::string batch;
  batch.reserve(size);
  for (const std::string& script : scripts) {
    batch += kOpen;
    batch += script;
    batch += kClose;
  }
  return batch;
}

bool MainWindowProc(NativeWindow& window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_DESTROY:
      window.PostQuit(0);
      return true;
    case WM_CLOSE:
      if (window.page() != nullptr && window.page()->CanAnswer()) {
        PostScriptTo(window, kRequestCloseScript);
      } else {
        // Nothing can answer the close request; keeping the window would trap the user.
        window.Post(WM_DESTROY_NOW, wParam, lParam);
      }
      return true;
    case WM_RUN_SCRIPT: {
      std::unique_ptr<std::string> script(reinterpret_cast<std::string*>(wParam));
      if (!script) return true;
      // Taken even without a web view: queued scripts would be dropped one by one anyway.
      std::optional<std::string> first = ScriptOf(window, std::move(*script), lParam);
      if (!first) return true;
      const std::vector<std::string> burst = TakeScriptBurst(window, std::move(*first));
      if (window.page() != nullptr) window.page()->RunScript(BatchScripts(burst));
      return true;
    }
    case WM_CLOSE_REQUEST:
      window.Post(WM_CLOSE, wParam, lParam);
      return true;
    case WM_DESTROY_NOW:
      window.Destroy();
      return true;
    case WM_WORK_PROGRESS:
      window.ShowWorkProgress(window.TakeWorkProgress());
      return true;
    case WM_ATTENTION:
      window.RequestAttention();
      return true;
    default:
      return false;
  }
}
