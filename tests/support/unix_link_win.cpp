#include "support/unix_link_win.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace {

std::wstring UnixPathOf(const std::filesystem::path& path) {
  using Converter = char* (*)(const wchar_t*);
  static const auto convert = reinterpret_cast<Converter>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) throw std::runtime_error("not running under Wine");
  char* unixPath = convert(path.c_str());
  if (unixPath == nullptr) throw std::runtime_error("no Unix path");
  const std::wstring result(unixPath, unixPath + std::char_traits<char>::length(unixPath));
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

// Runs a Unix program (Wine starts ELF binaries through CreateProcessW). Waiting on its handle
// does not wait for it: the callers poll for its effect.
void RunUnix(const wchar_t* program, const std::wstring& arguments) {
  std::wstring command = std::wstring(program) + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    throw std::runtime_error("cannot start a Unix program");
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

UnixLink::UnixLink(const std::filesystem::path& target, const std::filesystem::path& link)
    : link_(link) {
  RunUnix(L"Z:\\bin\\ln", L"-s \"" + UnixPathOf(target) + L"\" \"" + UnixPathOf(link) + L"\"");
  for (int i = 0; i < 500 && GetFileAttributesW(link_.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
    Sleep(10);
  }
}

UnixLink::~UnixLink() {
  // Wine deletes neither the link nor through it safely: the Unix side removes it.
  try {
    RunUnix(L"Z:\\bin\\rm", L"-f \"" + UnixPathOf(link_) + L"\"");
    for (int i = 0; i < 500 && GetFileAttributesW(link_.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) {
      Sleep(10);
    }
  } catch (const std::exception&) {
  }
}

bool UnixLink::made() const {
  const DWORD attributes = GetFileAttributesW(link_.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}
