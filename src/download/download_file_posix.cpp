#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "base/page_results.h"
#include "download/download_file.h"
#include "download/file_errors.h"

namespace {

TransferError LastError() {
  return TransferError(Win32ErrorFromFileErrno(errno));
}

class PosixDownloadFile final : public DownloadFile {
 public:
  explicit PosixDownloadFile(int fd) : fd_(fd) {}
  ~PosixDownloadFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  TransferError Write(const char* data, size_t size) override {
    while (size > 0) {
      const ssize_t written = ::write(fd_, data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      data += written;
      size -= static_cast<size_t>(written);
    }
    return TransferError();
  }

  TransferError WriteAt(uint64_t offset, const char* data, size_t size) override {
    while (size > 0) {
      const ssize_t written = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
      if (written < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      data += written;
      size -= static_cast<size_t>(written);
      offset += static_cast<uint64_t>(written);
    }
    return TransferError();
  }

  TransferError ReadAt(uint64_t offset, char* data, size_t size) override {
    while (size > 0) {
      const ssize_t got = ::pread(fd_, data, size, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return LastError();
      if (got == 0) return TransferError(page_result::kReadFault);
      data += got;
      size -= static_cast<size_t>(got);
      offset += static_cast<uint64_t>(got);
    }
    return TransferError();
  }

  TransferError Empty() override { return TruncateTo(0); }

  TransferError TruncateTo(uint64_t size) override {
    const off_t end = static_cast<off_t>(size);
    if (::ftruncate(fd_, end) != 0 || ::lseek(fd_, end, SEEK_SET) != end) return LastError();
    return TransferError();
  }

  TransferError Close() override {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) return LastError();
    return TransferError();
  }

 private:
  int fd_;
};

}  // namespace

TransferError DownloadFile::Open(const std::filesystem::path& path, Start start,
                                 std::unique_ptr<DownloadFile>& file) {
  // Not O_APPEND: Linux would append positioned writes too.
  const int fd = ::open(
      path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (start == Start::kEmpty ? O_TRUNC : 0), 0600);
  if (fd < 0) return LastError();
  auto opened = std::make_unique<PosixDownloadFile>(fd);
  if (start == Start::kAfterItsEnd && ::lseek(fd, 0, SEEK_END) < 0) return LastError();
  file = std::move(opened);
  return TransferError();
}
