#include <windows.h>

#include <algorithm>

#include "install/output_file.h"
#include "install/win32_error_text.h"

namespace {

HANDLE AsHandle(intptr_t file) {
  return reinterpret_cast<HANDLE>(file);
}

// WriteFile takes a 32-bit count.
constexpr size_t kLargestWrite = size_t{1} << 30;

}  // namespace

OutputFile::~OutputFile() {
  if (file_ != kClosed) CloseHandle(AsHandle(file_));
}

bool OutputFile::Open(const std::filesystem::path& path, uint32_t) {
  Close();
  // Not inheritable: a setup launched later must not hold an extracted file open. Readers may
  // look in while it is written (a virus scanner), writers and deleters may not.
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, FALSE};
  // The reparse point itself is opened, never what it names, so a link planted at the path is
  // seen below instead of followed. CREATE_ALWAYS cannot be combined with that flag: the file is
  // opened or created, checked, and only then truncated.
  const HANDLE handle =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error_ = Win32ErrorText(GetLastError());
    return false;
  }
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  auto refuse = [&](std::string reason) {
    error_ = std::move(reason);
    CloseHandle(handle);
    return false;
  };
  // A reserved name ("NUL", "aux.txt", "COM1") opens a device in any folder.
  if (GetFileType(handle) != FILE_TYPE_DISK) return refuse("not a file on disk");
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof(tag))) {
    return refuse(Win32ErrorText(GetLastError()));
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return refuse("a link (reparse point) is in the way");
  }
  if (existed && !SetEndOfFile(handle)) return refuse(Win32ErrorText(GetLastError()));
  file_ = reinterpret_cast<intptr_t>(handle);
  return true;
}

bool OutputFile::Write(const void* data, size_t length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min(length, kLargestWrite));
    DWORD written = 0;
    if (!WriteFile(AsHandle(file_), bytes, chunk, &written, nullptr)) {
      error_ = Win32ErrorText(GetLastError());
      return false;
    }
    if (written == 0) {
      error_ = "nothing was written";
      return false;
    }
    bytes += written;
    length -= written;
  }
  return true;
}

bool OutputFile::Close() {
  if (file_ == kClosed) return true;
  const bool closed = CloseHandle(AsHandle(file_)) != 0;
  file_ = kClosed;
  if (!closed) {
    error_ = Win32ErrorText(GetLastError());
    return false;
  }
  return true;
}
