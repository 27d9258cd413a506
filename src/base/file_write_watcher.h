#pragma once

#include <cstddef>
#include <cstdint>

// Told of each piece of a file as a transfer writes it, so that the bytes can be hashed while
// they arrive instead of being read back once the transfer ends.
class FileWriteWatcher {
 public:
  virtual ~FileWriteWatcher() = default;
  // `size` bytes at `data` went to the file at `offset`, after everything before them. A
  // transfer that empties the file writes it again from offset 0. Calls come from one thread
  // at a time, each ordered after the one before it.
  virtual void Wrote(uint64_t offset, const void* data, size_t size) = 0;
};
