#include <windows.h>

#include <algorithm>

#include "base/no_follow_win.h"
#include "base/utf8_path.h"
#include "log/log_file.h"

namespace {

HANDLE AsHandle(intptr_t file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

bool LogFile::Open(const std::string& path) {
  Close();
  const std::filesystem::path name = PathFromUtf8(path);
  // Not inheritable: a launched setup must not keep the log open. Others may read, append and
  // delete (retention in a second instance, an editor watching the file).
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, FALSE};
  constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // A new file is made only where nothing is; the reparse point itself is opened, never what it
  // names, so a link planted under the name is seen below instead of written through.
  HANDLE handle = CreateFileW(name.c_str(), kAccess, kShare, &security, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    handle = CreateFileW(name.c_str(), kAccess, kShare, &security, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    if (handle != INVALID_HANDLE_VALUE &&
        (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
         (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
         info.nNumberOfLinks != 1 || IsReparsePoint(handle, name))) {
      CloseHandle(handle);
      handle = INVALID_HANDLE_VALUE;
    }
  }
  file_ = reinterpret_cast<intptr_t>(handle);
  return file_ != kClosed;
}

void LogFile::Flush() {
  if (file_ == kClosed || buffer_.empty()) {
    buffer_.clear();
    return;
  }
  std::string text;
  text.reserve(buffer_.size() + buffer_.size() / 32);
  for (const char c : buffer_) {
    if (c == '\n') text.push_back('\r');
    text.push_back(c);
  }
  buffer_.clear();
  size_t offset = 0;
  while (offset < text.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - offset, 1u << 30));
    if (!WriteFile(AsHandle(file_), text.data() + offset, chunk, &written, nullptr) ||
        written == 0) {
      break;  // a failed write is ignored; the entry still reaches memory
    }
    offset += written;
  }
}

void LogFile::Close() {
  if (file_ == kClosed) return;
  Flush();
  CloseHandle(AsHandle(file_));
  file_ = kClosed;
}

std::tm LocalCalendarTime(std::time_t seconds) {
  std::tm local{};
  localtime_s(&local, &seconds);
  return local;
}
