#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>

#include "download/transfer_error.h"

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
  // Empties the file; the next write goes at its start.
  virtual TransferError Empty() = 0;
  // Once, after the last write: hands every byte to the system and closes the file, failing
  // when either step does.
  virtual TransferError Close() = 0;
};
