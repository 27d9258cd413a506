#pragma once

#include <algorithm>
#include <cstddef>
#include <string>

#include "base/file_write_watcher.h"
#include "net/transfer_error.h"

// Clients read far less than a block at a time (libcurl about 16 KiB on loopback, Wine's
// WinHTTP a few KiB); the file, its watchers and the page's progress go by whole blocks.
// Appends `size` bytes at `data` to `block`, calling `flush()` (which writes and empties it)
// each time it holds kFileWriteBlockBytes; stops at the first failure `flush` returns.
template <typename Flush>
TransferError GatherIntoBlocks(std::string& block, const char* data, size_t size, Flush&& flush) {
  if (block.capacity() < kFileWriteBlockBytes) block.reserve(kFileWriteBlockBytes);
  while (size > 0) {
    const size_t take = std::min(size, kFileWriteBlockBytes - block.size());
    block.append(data, take);
    data += take;
    size -= take;
    if (block.size() == kFileWriteBlockBytes) {
      if (const TransferError error = flush()) return error;
    }
  }
  return TransferError();
}
