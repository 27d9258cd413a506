#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "install/output_file.h"

OutputFile::~OutputFile() {
  if (file_ != kClosed) ::close(static_cast<int>(file_));
}

bool OutputFile::Open(const std::filesystem::path& path, uint32_t mode) {
  Close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                        static_cast<mode_t>(mode));
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  file_ = fd;
  return true;
}

bool OutputFile::Write(const void* data, size_t length) {
  const int fd = static_cast<int>(file_);
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = std::strerror(errno);
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputFile::Close() {
  if (file_ == kClosed) return true;
  const int result = ::close(static_cast<int>(file_));
  file_ = kClosed;
  if (result != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  return true;
}
