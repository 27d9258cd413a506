#include <objbase.h>
#include <windows.h>

#include <cstring>

#include "base/elevation.h"
#include "base/folder_error.h"
#include "base/no_follow_win.h"
#include "base/protected_folder_win.h"
#include "base/utf_convert.h"
#include "base/working_folder.h"

namespace fs = std::filesystem;

namespace {

// Accepts what is at `folder` only when it is a real folder, looked at through its own handle.
void CheckRealFolder(const fs::path& folder, std::error_code& ec) {
  const HANDLE handle = OpenRealFolder(folder, FILE_READ_ATTRIBUTES, ec);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  return (a / L"").lexically_normal() == (b / L"").lexically_normal();
}

}  // namespace

std::string NewGuidFolderName() {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return kNullGuidFolderName;
  wchar_t text[39] = {};
  if (StringFromGUID2(guid, text, 39) != 39) return kNullGuidFolderName;
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), 38));
}

fs::path TempDirectory() {
  if (ProcessIsElevated()) return ProtectedRoot() / L"";
  // The wide call: a user name outside the ANSI code page would give a narrow path that does
  // not exist. The result ends with a separator; MAX_PATH + 1 units always suffice.
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return fs::path(L"C:\\Windows\\Temp\\");
  return fs::path(std::wstring(buffer, n));
}

void CreatePrivateFolder(const fs::path& folder, std::error_code& ec) {
  if (ProcessIsElevated()) {
    CreateProtectedFolder(folder, ec);
    return;
  }
  fs::create_directory(folder, ec);
  if (!ec && !fs::is_directory(folder, ec) && !ec) {
    ec = std::make_error_code(std::errc::file_exists);
  }
}

void EnsureWorkingFolder(const fs::path& folder, std::error_code& ec) {
  const fs::path parent = folder.parent_path();
  if (ProcessIsElevated() && SameFolder(parent, ProtectedRoot())) {
    ProtectedRoot(ec);  // settled and checked once for the run
  } else if (!fs::exists(parent, ec) && !ec) {
    fs::create_directories(parent, ec);  // a folder the caller chose, as it is
  }
  // A file in the way says so, elevated or not, rather than "path not found".
  if (!ec && !fs::is_directory(parent, ec) && !ec) {
    ec = std::make_error_code(std::errc::not_a_directory);
  }
  if (ec) return;
  CreatePrivateFolder(folder, ec);
  if (ec == std::errc::file_exists) ec.clear();  // made by an earlier step of this run
  if (!ec) CheckRealFolder(folder, ec);
}

void EnsureFolderStep(const fs::path& folder, std::error_code& ec) {
  // Made with the rules it inherits from the working folder.
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ec = Win32Error(GetLastError());
    return;
  }
  CheckRealFolder(folder, ec);
}
