#include <windows.h>

#include "install/archive_file.h"

namespace {

class HandleArchiveFile final : public ArchiveFile {
 public:
  HandleArchiveFile(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& opened)
      : handle_(handle), opened_(opened) {}
  ~HandleArchiveFile() override { CloseHandle(handle_); }
  HandleArchiveFile(const HandleArchiveFile&) = delete;
  HandleArchiveFile& operator=(const HandleArchiveFile&) = delete;

  uint64_t Size() const override {
    return (static_cast<uint64_t>(opened_.nFileSizeHigh) << 32) | opened_.nFileSizeLow;
  }

  int64_t ReadAt(uint64_t offset, void* data, size_t length) override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD wanted = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
    DWORD got = 0;
    if (!ReadFile(handle_, data, wanted, &got, &at)) {
      return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return got;
  }

  bool UnchangedSinceOpen() override {
    BY_HANDLE_FILE_INFORMATION now;
    return GetFileInformationByHandle(handle_, &now) &&
           now.nFileSizeHigh == opened_.nFileSizeHigh && now.nFileSizeLow == opened_.nFileSizeLow &&
           CompareFileTime(&now.ftLastWriteTime, &opened_.ftLastWriteTime) == 0;
  }

 private:
  HANDLE handle_;
  BY_HANDLE_FILE_INFORMATION opened_;
};

}  // namespace

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const std::filesystem::path& path, Sharing sharing) {
  // Readers and writers are what the C runtime's own streams share; delete sharing is never
  // given, so the name keeps naming this file while it is read.
  const DWORD share =
      sharing == Sharing::kReadersOnly ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION opened;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &opened) ||
      (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(handle);
    return nullptr;
  }
  return std::make_unique<HandleArchiveFile>(handle, opened);
}
