#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "log/log_file.h"

bool LogFile::Open(const std::string& path) {
  Close();
  file_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  return file_ != kClosed;
}

void LogFile::Flush() {
  size_t offset = 0;
  const int fd = static_cast<int>(file_);
  while (fd >= 0 && offset < buffer_.size()) {
    const ssize_t n = ::write(fd, buffer_.data() + offset, buffer_.size() - offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // a failed write is ignored; the entry still reaches memory
    offset += static_cast<size_t>(n);
  }
  buffer_.clear();
}

void LogFile::Close() {
  if (file_ == kClosed) return;
  Flush();
  ::close(static_cast<int>(file_));
  file_ = kClosed;
}

std::tm LocalCalendarTime(std::time_t seconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}
