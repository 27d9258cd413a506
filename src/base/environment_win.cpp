#include <windows.h>

#include <vector>

#include "base/environment.h"
#include "base/utf_convert.h"

namespace {

std::wstring Wide(const char* name) {
  const std::u16string text = Utf8ToUtf16(name);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const wchar_t* text, size_t length) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

}  // namespace

std::optional<std::string> ReadEnvironmentVariable(const char* name) {
  const std::wstring wideName = Wide(name);
  // The size can change between the two calls when another thread sets the variable: ask again.
  std::vector<wchar_t> buffer(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD n =
        GetEnvironmentVariableW(wideName.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (n < buffer.size()) return Narrow(buffer.data(), n);
    buffer.assign(n + 1, L'\0');
  }
}

std::optional<std::string> ReadBoundedEnvironmentVariable(const char* name, size_t bufferUnits) {
  // The platform's own fixed-buffer read: a count from 1 to bufferUnits - 1 is the value; 0 is
  // unset or empty, and a larger count is the size the value would need.
  std::vector<wchar_t> buffer(bufferUnits, L'\0');
  const DWORD n =
      GetEnvironmentVariableW(Wide(name).c_str(), buffer.data(), static_cast<DWORD>(bufferUnits));
  if (n == 0 || n >= bufferUnits) return std::nullopt;
  return Narrow(buffer.data(), n);
}
