#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

  TransferError Empty() override {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return LastError();
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
  const int fd =
      ::open(path.c_str(),
             O_WRONLY | O_CREAT | O_CLOEXEC | (start == Start::kEmpty ? O_TRUNC : O_APPEND), 0600);
  if (fd < 0) return LastError();
  file = std::make_unique<PosixDownloadFile>(fd);
  return TransferError();
}
