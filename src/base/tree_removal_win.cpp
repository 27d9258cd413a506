#include <windows.h>

#include <string>
#include <vector>

#include "base/folder_error.h"
#include "base/no_follow_win.h"
#include "base/tree_removal_win.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder being emptied is held without FILE_SHARE_DELETE, so that nobody can rename it (or a
// folder above it) away and put something else under its name while the walk is inside.
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kFolderAccess =
    DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kEntryAccess = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;

struct Listed {
  std::wstring name;
  DWORD attributes;
};

std::string Reason(DWORD error) {
  return Win32Error(error).message();
}

// The entries of the folder opened as `folder`, read through that handle, so the list is of
// the folder that was opened, whatever its name leads to by now.
bool ListFolder(HANDLE folder, std::vector<Listed>& entries, DWORD& error) {
  alignas(LONGLONG) static thread_local char buffer[64 * 1024];
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, kind, buffer, sizeof(buffer))) {
      error = GetLastError();
      return error == ERROR_NO_MORE_FILES;
    }
    kind = FileIdBothDirectoryInfo;
    for (size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer + offset);
      std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..")
        entries.push_back({std::move(name), entry->FileAttributes});
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

// Removes the entry `path` that the listing of its folder described with `listed` attributes.
void RemoveEntry(const fs::path& path, DWORD listed, const RemovalSkipped& skipped) {
  const bool listedLink = (listed & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const bool listedFolder = !listedLink && (listed & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const HANDLE handle = OpenEntry(path, listedFolder ? kFolderAccess : kEntryAccess,
                                  listedFolder ? kShareNoDelete : kShareAll);
  if (handle == INVALID_HANDLE_VALUE) {
    skipped(path, Reason(GetLastError()));
    return;
  }
  // The listing and the handle must agree on what the entry is. Where they differ, the entry was
  // swapped since the listing, or the handle reaches through a link it should have stopped at
  // (Wine does so for Unix links): deleting through it could delete what the link names.
  const bool handleLink = HandleIsReparsePoint(handle);
  const bool link = handleLink || IsReparsePoint(handle, path);
  const bool folder = !link && IsFolder(handle);
  if (listedLink && !handleLink) {
    skipped(path, "a link that cannot be removed by itself");
    CloseHandle(handle);
    return;
  }
  if (link != listedLink || folder != listedFolder) {
    skipped(path, "it changed while its folder was being emptied");
    CloseHandle(handle);
    return;
  }
  if (folder) RemoveFolderContents(handle, path, skipped);
  DWORD error = 0;
  if (!DeleteByHandle(handle, error)) skipped(path, Reason(error));
  CloseHandle(handle);
}

}  // namespace

void RemoveFolderContents(HANDLE folder, const fs::path& path, const RemovalSkipped& skipped) {
  std::vector<Listed> entries;
  DWORD error = 0;
  if (!ListFolder(folder, entries, error)) skipped(path, Reason(error));
  for (const Listed& entry : entries) RemoveEntry(path / entry.name, entry.attributes, skipped);
}

// A read-only entry is made writable first, as Windows refuses to delete it otherwise.
bool DeleteByHandle(HANDLE handle, DWORD& error) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) {
    return true;
  }
  error = GetLastError();
  FILE_BASIC_INFO basic{};
  if (error != ERROR_ACCESS_DENIED ||
      !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic)) ||
      (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return false;
  }
  basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // Zero times are left as they are.
  basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
  basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
  if (SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic)) &&
      SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition))) {
    return true;
  }
  error = GetLastError();
  return false;
}

void RemoveFolderTree(const fs::path& folder, const RemovalSkipped& skipped) {
  const HANDLE handle = OpenEntry(folder, kFolderAccess, kShareNoDelete);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
      skipped(folder, Reason(error));
    }
    return;
  }
  // Only a real folder is the program's working folder; a link in its place is left, and what
  // it names is never entered.
  if (!IsReparsePoint(handle, folder) && IsFolder(handle)) {
    RemoveFolderContents(handle, folder, skipped);
    DWORD error = 0;
    if (!DeleteByHandle(handle, error)) skipped(folder, Reason(error));
  }
  CloseHandle(handle);
}

bool RemovePlainFile(const fs::path& path, std::error_code& ec) {
  ec.clear();
  const HANDLE handle = OpenEntry(path, kEntryAccess, kShareAll);
  if (handle == INVALID_HANDLE_VALUE) {
    ec = Win32Error(GetLastError());
    return false;
  }
  DWORD error = 0;
  if (IsReparsePoint(handle, path)) {
    ec = FolderError::kReparsePoint;
  } else if (IsFolder(handle)) {
    ec = std::make_error_code(std::errc::is_a_directory);
  } else if (!DeleteByHandle(handle, error)) {
    ec = Win32Error(error);
  }
  CloseHandle(handle);
  return !ec;
}
