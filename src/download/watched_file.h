#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/file_write_watcher.h"
#include "download/download_file.h"
#include "download/transfer_error.h"

// A file a transfer is writing, and the watchers told of each piece once it is on disk: the one
// place where both the direct transfer and the background job on libcurl put bytes on disk, so
// that every watcher sees exactly the bytes the file holds, at the offsets they hold them.
class WatchedFile {
 public:
  // `file` already holds `size` bytes (a resumed download's), which no watcher was told of.
  // Each watcher must outlive this object.
  WatchedFile(std::unique_ptr<DownloadFile> file, uint64_t size,
              std::vector<FileWriteWatcher*> watchers);

  // Appends `size` bytes; once they are on disk, each watcher is told of them, in order.
  TransferError Write(const char* data, size_t size);
  // Empties the file: the next write is told at offset 0.
  TransferError Empty();
  // See DownloadFile::Close.
  TransferError Close();

  // Bytes in the file.
  uint64_t size() const { return size_; }

 private:
  std::unique_ptr<DownloadFile> file_;
  uint64_t size_;
  std::vector<FileWriteWatcher*> watchers_;
};
