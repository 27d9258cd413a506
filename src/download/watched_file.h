#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "base/file_write_watcher.h"
#include "download/download_file.h"
#include "net/transfer_error.h"

// A file a transfer is writing, and the watchers told of each piece once it is on disk: the one
// place where both the direct transfer and the background job on libcurl put bytes on disk, so
// that every watcher sees exactly the bytes the file holds, at the offsets they hold them.
//
// Watchers hear of the file in order only. Bytes written ahead of the in-order end (by a
// download over several connections) are told once the gap before them is filled, read back
// from the file then, once; bytes that arrive at the end are told as they are written.
class WatchedFile {
 public:
  // `file` already holds `size` bytes (a resumed download's), which no watcher was told of.
  // Each watcher must outlive this object.
  WatchedFile(std::unique_ptr<DownloadFile> file, uint64_t size,
              std::vector<FileWriteWatcher*> watchers);

  // Appends `size` bytes at the in-order end; once they are on disk, each watcher is told of
  // them, in order. Nothing may have been written ahead.
  TransferError Write(const char* data, size_t size);
  // Writes `size` bytes at `offset`, at or after the in-order end and clear of what was written
  // ahead; when they fill the gap at the end, the watchers are told of everything that is now
  // in order (kReadFault when bytes written ahead cannot be read back).
  TransferError WriteAt(uint64_t offset, const char* data, size_t size);
  // Empties the file: the next write is told at offset 0.
  TransferError Empty();
  // Drops what was written ahead of the in-order end, from the disk too.
  TransferError DropAhead();
  // Takes `runs` ([first, end) pairs beyond size(), sorted, apart) as written ahead already: a
  // kept download's, on disk but not yet told.
  void AdoptAhead(const std::vector<std::pair<uint64_t, uint64_t>>& runs);
  // The file's first `size` bytes, which a new object (size() 0, nothing ahead) holds already
  // and no watcher was told of (a kept download's): read back once and told, in order
  // (kReadFault when they cannot be read).
  TransferError TellKeptStart(uint64_t size);
  // What was written ahead, as [first, end) pairs in order.
  std::vector<std::pair<uint64_t, uint64_t>> AheadRuns() const;
  // See DownloadFile::Close.
  TransferError Close();

  // Bytes in the file from its start without a gap.
  uint64_t size() const { return size_; }
  // Bytes in the file in all: size() and those written ahead.
  uint64_t received() const { return size_ + aheadBytes_; }

 private:
  void Tell(uint64_t offset, const char* data, size_t size);
  TransferError CatchUp();

  std::unique_ptr<DownloadFile> file_;
  uint64_t size_;
  std::vector<FileWriteWatcher*> watchers_;
  std::map<uint64_t, uint64_t> ahead_;  // written ahead: first byte -> end, apart from each other
  uint64_t aheadBytes_ = 0;
};
