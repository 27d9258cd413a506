#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

// The archive as the extraction reads it: one file, opened once and read at any offset through
// that one handle or descriptor, whatever happens to its name meanwhile. One backend per platform.
//
// With Sharing::kReadersOnly (an archive whose bytes are checked while they are extracted) the
// Windows file is shared with readers only: the open fails while anyone holds it open for writing,
// and while it is open nobody can write, rename or delete it. Linux has no such sharing;
// UnchangedSinceOpen then tells whether anyone wrote to the file while it was read.
class ArchiveFile {
 public:
  enum class Sharing { kWithWriters, kReadersOnly };

  // Null when `path` is not a regular file that can be opened for reading.
  static std::unique_ptr<ArchiveFile> Open(const std::filesystem::path& path, Sharing sharing);
  virtual ~ArchiveFile() = default;

  // The size at Open.
  virtual uint64_t Size() const = 0;
  // Up to `length` bytes at `offset` into `data`: the count read (0 at the end), -1 on failure.
  virtual int64_t ReadAt(uint64_t offset, void* data, size_t length) = 0;
  // True when the system's record of the file is as it was at Open: nothing was written to it
  // meanwhile, not even bytes put back as they were (on Linux its change time, which also moves
  // when the file loses or gains a name, must not have moved).
  virtual bool UnchangedSinceOpen() = 0;
};
