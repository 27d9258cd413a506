#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "install/output_file.h"

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::Open(const std::filesystem::path& path, uint32_t mode) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
               static_cast<mode_t>(mode));
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::Write(const void* data, size_t length) {
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(fd_, bytes, length);
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
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  if (result != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  return true;
}
