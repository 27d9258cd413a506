// The page-to-host direction of the bridge: every page message arrives here, is parsed and
// handed to the one handler its action name selects.

#include <array>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/app_context.h"
#include "app/native_window.h"
#include "app/setup_web_view.h"
#include "app/web_view.h"
#include "app/window_messages.h"
#include "base/ascii.h"
#include "bridge/dev_environment.h"
#include "log/logger.h"

using nlohmann::json;

namespace {

std::string CallbackIdOf(const json& message) {
  return message.value("callbackId", std::string());
}

struct ActionEntry {
  std::string_view name;
  void (*run)(SetupWebView& host, const json& message);
};

// Compared in this order; the first name equal ignoring ASCII case wins.
constexpr std::array<ActionEntry, 14> kActionTable = {{
    {"doCancel", [](SetupWebView& h, const json& m) { h.DoCancel(CallbackIdOf(m)); }},
    {"doCleanUp", [](SetupWebView& h, const json& m) { h.DoCleanUp(CallbackIdOf(m)); }},
    {"doClose", [](SetupWebView& h, const json&) { h.DoClose(); }},
    {"doCloseOverride", [](SetupWebView& h, const json&) { h.DoCloseOverride(); }},
    {"doDataExchange", [](SetupWebView& h, const json& m) { h.DoDataExchange(m); }},
    {"doDownload", [](SetupWebView& h, const json& m) { h.DoDownload(m); }},
    {"doGetSysInfo", [](SetupWebView& h, const json& m) { h.DoGetSysInfo(CallbackIdOf(m)); }},
    {"doMinimizeWnd", [](SetupWebView& h, const json&) { h.DoMinimizeWnd(); }},
    {"doLaunchSetup", [](SetupWebView& h, const json& m) { h.DoLaunchSetup(m); }},
    {"OpenDevToolsWindow", [](SetupWebView& h, const json&) { h.OpenDevToolsWindow(); }},
    {"doWriteLog", [](SetupWebView& h, const json& m) { h.DoWriteLog(m); }},
    {"doGetLogData", [](SetupWebView& h, const json& m) { h.DoGetLogData(m); }},
    {"doUnZip", [](SetupWebView& h, const json& m) { h.DoUnZip(m); }},
    {"postToTeams", [](SetupWebView& h, const json& m) { h.PostToTeams(m); }},
}};

const ActionEntry* FindAction(std::string_view name) {
  for (const ActionEntry& entry : kActionTable) {
    if (EqualsIgnoringAsciiCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

void LogDropped(const std::string& reason) {
  Logger::Log(LogLevel::Warn, "engine", "Dropped page message: " + reason);
}

// Handlers copy and serialise messages recursively; a message nested deeper than this would
// exhaust the stack, so the parser refuses it before any handler sees it.
constexpr int kMaxMessageDepth = 64;

class MessageTooDeep : public std::runtime_error {
 public:
  MessageTooDeep()
      : std::runtime_error("nested deeper than " + std::to_string(kMaxMessageDepth) + " levels") {}
};

json ParseMessage(std::string_view text) {
  // `depth` counts the containers around the one that starts: the message object is at 0.
  const json::parser_callback_t refuseDeep = [](int depth, json::parse_event_t event, json&) {
    const bool opens =
        event == json::parse_event_t::object_start || event == json::parse_event_t::array_start;
    if (opens && depth >= kMaxMessageDepth) throw MessageTooDeep();
    return true;
  };
  return json::parse(text.begin(), text.end(), refuseDeep, /*allow_exceptions=*/true,
                     /*ignore_comments=*/false);
}

}  // namespace

void SetupWebView::OnWebMessageReceived(std::string_view text) {
  // Nothing may escape to the web view: a malformed message, or a handler that throws, is
  // dropped here without an answer.
  try {
    if (text.size() > kMaxMessageBytes) {
      LogDropped("larger than " + std::to_string(kMaxMessageBytes) + " bytes");
      return;
    }
    const json message = ParseMessage(text);
    if (!message.is_object()) {
      LogDropped("not a JSON object");
      return;
    }
    if (message.contains("callbackId") && !message.at("callbackId").is_string()) {
      LogDropped("\"callbackId\" is not a string");
      return;
    }
    const std::string action = message.value("action", std::string());
    const ActionEntry* entry = FindAction(action);
    if (entry == nullptr) return;
    entry->run(*this, message);
  } catch (const std::exception& e) {
    LogDropped(e.what());
  } catch (...) {
    LogDropped("unknown error");
  }
}

void SetupWebView::DoClose() {
  if (!m_closing.exchange(true)) {
    DoCancel(std::string());
    DoCleanUp(std::string());
  }
  m_hwnd->Post(IsBusy() ? WM_CLOSE_REQUEST : WM_DESTROY_NOW, 0, 0);
}

void SetupWebView::DoCloseOverride() {
  m_hwnd->Post(WM_DESTROY_NOW, 0, 0);
}

void SetupWebView::DoMinimizeWnd() {
  m_hwnd->ShowMinimized();
}

void SetupWebView::OpenDevToolsWindow() {
  if (IsDevEnvironment() && m_webView != nullptr) m_webView->OpenDevToolsWindow();
}
