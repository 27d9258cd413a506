#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Where a ZIP archive's entries lie in its file, and whether the archive says the same thing to
// every reader. Archives come from the network and are written by many tools: this accepts what
// those tools write (a self-extracting program before the archive, padding between entries, local
// headers whose extra fields, versions, flags or times differ from the central directory) and
// refuses what would make this program write other bytes than another tool would:
// - a local header with another name, another method, or sizes or a CRC-32 that contradict the
//   central directory (zeros under a data descriptor are not a contradiction);
// - entries whose headers or data overlap each other or the central directory;
// - two entries of exactly the same stored name;
// - sizes of one entry that differ by a multiple of 4 GiB (a 32-bit field given a larger size).
// Does not promise: anything about the entry data itself (the reader checks it while extracting),
// or about names beyond their bytes (install/entry_rules.h maps them).

// Reads exactly `length` bytes at `offset` of the file into `data`; false when it cannot.
using ZipByteSource = std::function<bool(uint64_t offset, void* data, size_t length)>;

struct ZipLayoutEntry {
  uint16_t flags = 0;  // general-purpose bits, as the central directory records them
  uint16_t method = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
};

struct ZipLayout {
  // Bytes before the archive proper, typically a self-extracting program written in front of an
  // archive whose offsets were not moved: every offset the archive records counts from here.
  uint64_t base = 0;
  std::vector<ZipLayoutEntry> entries;  // in central-directory order
};

// The layout of the archive held in the `fileSize` bytes that `read` gives; nullopt with `cause`
// set when there is no usable central directory or the archive contradicts itself.
std::optional<ZipLayout> ReadZipLayout(uint64_t fileSize, const ZipByteSource& read,
                                       std::string& cause);
