#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include "app/users_browser_win.h"
#include "base/desktop_shell_win.h"
#include "base/hex_string.h"
#include "log/logger.h"

void OpenInUsersBrowser(const std::wstring& url) {
  const HRESULT hr = ShellExecuteThroughDesktop(url, L"");
  if (SUCCEEDED(hr)) return;
  // Better a link that opens than none: without a desktop shell there is no unelevated
  // process to ask.
  Logger::Log(LogLevel::Warn, "engine",
              "The desktop's shell could not open the link (" +
                  ToHexString(static_cast<uint32_t>(hr)) + "); starting the browser directly");
  ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
