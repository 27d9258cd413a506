#pragma once

#include <cstddef>
#include <cstdint>

// The size of the pieces a file is written in while it arrives. The direct transfer gathers
// what the network hands it into whole pieces of this size (all but the last of each answer),
// so the page gets one progress report per piece however small the client's reads are; the
// libcurl clients are asked for reads of at most this size; the streamed signature check hashes
// in pieces of this size, so that each whole piece written becomes one piece hashed.
inline constexpr size_t kFileWriteBlockBytes = 256 * 1024;

// Told of each piece of a file as a transfer writes it, so that the bytes can be hashed while
// they arrive instead of being read back once the transfer ends.
class FileWriteWatcher {
 public:
  virtual ~FileWriteWatcher() = default;
  // `size` bytes at `data` went to the file at `offset`, after everything before them. A
  // transfer that empties the file writes it again from offset 0. Calls come from one thread
  // at a time, each ordered after the one before it. `size` is at most kFileWriteBlockBytes.
  virtual void Wrote(uint64_t offset, const void* data, size_t size) = 0;
};
