#include "base/no_follow_win.h"

#include "base/folder_error.h"

HANDLE OpenEntry(const std::filesystem::path& path, DWORD access, DWORD share) {
  // Not inheritable: a setup started later must not hold the program's folders open.
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, FALSE};
  return CreateFileW(path.c_str(), access, share, &security, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool HandleIsReparsePoint(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  // What cannot be examined is not trusted.
  return !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)) ||
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsReparsePoint(HANDLE handle, const std::filesystem::path& path) {
  if (HandleIsReparsePoint(handle)) return true;
  const DWORD named = GetFileAttributesW(path.c_str());
  return named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolder(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag)) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE OpenRealFolder(const std::filesystem::path& folder, DWORD access, std::error_code& ec) {
  const HANDLE handle =
      OpenEntry(folder, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (handle == INVALID_HANDLE_VALUE) {
    ec = Win32Error(GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  if (IsReparsePoint(handle, folder)) {
    ec = FolderError::kReparsePoint;
  } else if (!IsFolder(handle)) {
    ec = std::make_error_code(std::errc::not_a_directory);
  } else {
    return handle;
  }
  CloseHandle(handle);
  return INVALID_HANDLE_VALUE;
}

std::error_code Win32Error(DWORD error) {
  return {static_cast<int>(error), std::system_category()};
}
