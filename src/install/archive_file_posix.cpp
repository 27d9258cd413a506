#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "install/archive_file.h"

namespace {

bool SameRecord(const struct stat& a, const struct stat& b) {
  // The change time moves with every write and with every attempt to set the other times back.
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

class DescriptorArchiveFile final : public ArchiveFile {
 public:
  DescriptorArchiveFile(int fd, const struct stat& opened) : fd_(fd), opened_(opened) {}
  ~DescriptorArchiveFile() override { close(fd_); }
  DescriptorArchiveFile(const DescriptorArchiveFile&) = delete;
  DescriptorArchiveFile& operator=(const DescriptorArchiveFile&) = delete;

  uint64_t Size() const override { return static_cast<uint64_t>(opened_.st_size); }

  int64_t ReadAt(uint64_t offset, void* data, size_t length) override {
    for (;;) {
      const ssize_t n = pread(fd_, data, length, static_cast<off_t>(offset));
      if (n >= 0) return n;
      if (errno != EINTR) return -1;
    }
  }

  bool UnchangedSinceOpen() override {
    struct stat now;
    return fstat(fd_, &now) == 0 && SameRecord(opened_, now);
  }

 private:
  int fd_;
  struct stat opened_;
};

}  // namespace

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const std::filesystem::path& path, Sharing) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat opened;
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<DescriptorArchiveFile>(fd, opened);
}
