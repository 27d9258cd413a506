#include <windows.h>

#include "base/hresult.h"
#include "base/page_results.h"
#include "download/download_file.h"

namespace {

class WinDownloadFile final : public DownloadFile {
 public:
  explicit WinDownloadFile(HANDLE file) : file_(file) {}
  ~WinDownloadFile() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }

  TransferError Write(const char* data, size_t size) override {
    while (size > 0) {
      const DWORD chunk = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteFile(file_, data, chunk, &written, nullptr)) return TransferError(GetLastError());
      if (written == 0) return TransferError(page_result::kWriteFault);
      data += written;
      size -= written;
    }
    return TransferError();
  }

  TransferError WriteAt(uint64_t offset, const char* data, size_t size) override {
    while (size > 0) {
      const DWORD chunk = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
      OVERLAPPED at = AtOffset(offset);
      DWORD written = 0;
      if (!WriteFile(file_, data, chunk, &written, &at)) return TransferError(GetLastError());
      if (written == 0) return TransferError(page_result::kWriteFault);
      data += written;
      size -= written;
      offset += written;
    }
    return TransferError();
  }

  TransferError ReadAt(uint64_t offset, char* data, size_t size) override {
    while (size > 0) {
      const DWORD chunk = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
      OVERLAPPED at = AtOffset(offset);
      DWORD got = 0;
      if (!ReadFile(file_, data, chunk, &got, &at)) return TransferError(GetLastError());
      if (got == 0) return TransferError(page_result::kReadFault);
      data += got;
      size -= got;
      offset += got;
    }
    return TransferError();
  }

  TransferError Empty() override { return TruncateTo(0); }

  TransferError TruncateTo(uint64_t size) override {
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
      return TransferError(GetLastError());
    }
    return TransferError();
  }

  TransferError Close() override {
    const HANDLE file = file_;
    file_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(file)) return TransferError(GetLastError());
    return TransferError();
  }

 private:
  // A synchronous handle reads and writes at the offset an OVERLAPPED names.
  static OVERLAPPED AtOffset(uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
  }

  HANDLE file_;
};

}  // namespace

TransferError DownloadFile::Open(const std::filesystem::path& path, Start start,
                                 std::unique_ptr<DownloadFile>& file) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, start == Start::kEmpty ? CREATE_ALWAYS : OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return TransferError(GetLastError());
  auto opened = std::make_unique<WinDownloadFile>(handle);
  LARGE_INTEGER zero{};
  if (start == Start::kAfterItsEnd && !SetFilePointerEx(handle, zero, nullptr, FILE_END)) {
    return TransferError(GetLastError());
  }
  file = std::move(opened);
  return TransferError();
}
