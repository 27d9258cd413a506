#include <windows.h>

#include <string>

#include "base/desktop_shell_win.h"
#include "base/elevation.h"
#include "base/hex_string.h"
#include "base/page_results.h"
#include "install/product_start.h"
#include "install/win32_error_text.h"
#include "log/logger.h"

uint32_t StartProduct(const std::filesystem::path& program, std::string& detail) {
  std::filesystem::path path = program;
  path.make_preferred();
  const std::filesystem::path folder = path.parent_path();
  const HRESULT hr = ShellExecuteThroughDesktop(path.native(), folder.native());
  if (SUCCEEDED(hr)) return 0;
  if (ProcessIsElevated()) {
    // Started directly it would run with administrator rights, as whatever the product's folder
    // holds by then: better none.
    detail = "the desktop's shell could not start it as the signed-in user (" +
             ToHexString(static_cast<uint32_t>(hr)) +
             ") and an installer with administrator rights does not start it itself";
    return page_result::kProductNotStartedElevated;
  }
  // Not elevated, a direct start has the user's own rights: better a product that starts than
  // none when no desktop shell answers.
  Logger::Log(LogLevel::Warn, "Engine.AppLauncher",
              "The desktop's shell could not start the product (" +
                  ToHexString(static_cast<uint32_t>(hr)) + "); starting it directly");
  std::wstring commandLine = L"\"" + path.native() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    const DWORD error = GetLastError();
    detail = "CreateProcessW: " + Win32ErrorText(error);
    return error != 0 ? error : page_result::kNoMatchingCode;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
