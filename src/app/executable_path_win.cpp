#include <windows.h>

#include <string>

#include "app/setup_web_view.h"

std::filesystem::path CurrentExecutablePath() {
  // The call cuts a path that does not fit (and says so with ERROR_INSUFFICIENT_BUFFER): grow
  // until the whole path fits, so a deep install folder is not cut at 260 units.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer);
    }
    if (buffer.size() >= 32768) return {};  // longer than any Windows path
    buffer.resize(buffer.size() * 2);
  }
}
