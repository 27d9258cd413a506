#include <objbase.h>
#include <windows.h>

#include <cstring>

#include "base/utf_convert.h"
#include "base/working_folder.h"

std::string NewGuidFolderName() {
  GUID guid;
  if (FAILED(CoCreateGuid(&guid))) return kNullGuidFolderName;
  wchar_t text[39] = {};
  if (StringFromGUID2(guid, text, 39) != 39) return kNullGuidFolderName;
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), 38));
}

std::filesystem::path TempDirectory() {
  // The wide call: a user name outside the ANSI code page would give a narrow path that does
  // not exist. The result ends with a separator; MAX_PATH + 1 units always suffice.
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  if (n == 0 || n > MAX_PATH) return std::filesystem::path(L"C:\\Windows\\Temp\\");
  return std::filesystem::path(std::wstring(buffer, n));
}

void CreatePrivateFolder(const std::filesystem::path& folder, std::error_code& ec) {
  std::filesystem::create_directory(folder, ec);
  if (!ec && !std::filesystem::is_directory(folder, ec) && !ec) {
    ec = std::make_error_code(std::errc::file_exists);
  }
}
