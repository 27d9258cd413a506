#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <vector>

#include "base/ascii.h"
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

std::vector<std::string> RemoveEnvironmentVariablesStartingWith(std::string_view prefix) {
  // The names first, then the removals: the block must not change while it is walked.
  std::vector<std::wstring> names;
  if (wchar_t* block = GetEnvironmentStringsW(); block != nullptr) {
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      // "=C:" and the like (a drive's current folder) start with '=': never a variable's name.
      const wchar_t* equals = entry[0] == L'=' ? nullptr : std::wcschr(entry, L'=');
      if (equals == nullptr) continue;
      const std::string name = Narrow(entry, static_cast<size_t>(equals - entry));
      if (StartsWithIgnoringAsciiCase(name, prefix)) names.emplace_back(entry, equals);
    }
    FreeEnvironmentStringsW(block);
  }
  std::vector<std::string> removed;
  for (const std::wstring& name : names) {
    // The process's block is what the loader reads and what started processes inherit; the C
    // runtime keeps a copy of its own, which goes too.
    SetEnvironmentVariableW(name.c_str(), nullptr);
    _wputenv((name + L"=").c_str());
    removed.push_back(Narrow(name.c_str(), name.size()));
  }
  return removed;
}
