#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "log/log_file.h"

bool LogFile::Open(const std::string& path) {
  Close();
  // A new file is ours alone; an existing one is appended to only when it is a plain file of
  // this user's with no other name, never through a symbolic or hard link planted under the
  // name the next file will have.
  constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) {
    fd = ::open(path.c_str(), kFlags);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
                    st.st_nlink != 1)) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd >= 0) ::fchmod(fd, 0600);  // whatever the umask made of it
  file_ = fd;
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
