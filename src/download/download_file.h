#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "net/transfer_error.h"

// The file a transfer writes a body into, opened for writing only by this process:
// on POSIX created with mode 0600 whatever the umask and closed on exec; on Windows others may
// read it meanwhile, nobody else may write it. Failures are Win32 error numbers (on POSIX
// through download/file_errors.h), so the page sees the same codes on every platform.
class DownloadFile {
 public:
  enum class Start {
    kEmpty,        // a new file, or an existing one emptied
    kAfterItsEnd,  // an existing file kept, writes going after its bytes (or a new file)
  };

  // Opens `path`, creating it when it does not exist. Fails with `file` left empty.
  static TransferError Open(const std::filesystem::path& path, Start start,
                            std::unique_ptr<DownloadFile>& file);

  // Closes the file when Close was not called, dropping any failure.
  virtual ~DownloadFile() = default;

  // Appends all `size` bytes, or fails.
  virtual TransferError Write(const char* data, size_t size) = 0;
  // Writes all `size` bytes at `offset`, the file growing as needed (a gap before them reads
  // as zeros), or fails. Appends after it go after the bytes written last.
  virtual TransferError WriteAt(uint64_t offset, const char* data, size_t size) = 0;
  // Reads exactly `size` bytes at `offset` into `data`, or fails.
  virtual TransferError ReadAt(uint64_t offset, char* data, size_t size) = 0;
  // Empties the file; the next write goes at its start.
  virtual TransferError Empty() = 0;
  // Cuts the file to its first `size` bytes; the next append goes after them.
  virtual TransferError TruncateTo(uint64_t size) = 0;
  // Once, after the last write: hands every byte to the system and closes the file, failing
  // when either step does.
  virtual TransferError Close() = 0;
};
