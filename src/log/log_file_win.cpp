#include <windows.h>

#include <algorithm>

#include "base/utf_convert.h"
#include "log/log_file.h"

namespace {

HANDLE AsHandle(intptr_t file) {
  return reinterpret_cast<HANDLE>(file);
}

}  // namespace

bool LogFile::Open(const std::string& path) {
  Close();
  // Not inheritable: a launched setup must not keep the log open. Others may read, append and
  // delete (retention in a second instance, an editor watching the file).
  SECURITY_ATTRIBUTES security{sizeof(security), nullptr, FALSE};
  const HANDLE handle =
      CreateFileW(reinterpret_cast<const wchar_t*>(Utf8ToUtf16(path).c_str()), FILE_APPEND_DATA,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
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
