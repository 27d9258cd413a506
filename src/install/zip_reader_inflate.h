#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Inflates one raw deflate stream (a deflated ZIP entry's data) piece by piece, into output
// windows the caller chooses, so that the reader can hand out chunks of its own size. One
// backend per platform: the fastest inflater the platform offers (ISA-L on Linux, zlib on
// Windows); both give the same bytes for the same stream.
// Does not promise: any check of sizes or CRC-32 (the reader makes them), or thread safety.
class ZipInflater {
 public:
  enum class Status {
    kProgress,  // input consumed or output made; call again (with more input once it is used up)
    kEnd,       // the stream's last block is done and all its output has been handed out
    kCorrupt,   // the data is not a valid deflate stream
  };

  virtual ~ZipInflater() = default;
  // Null only when the platform's inflater cannot be set up (out of memory).
  static std::unique_ptr<ZipInflater> Create();

  // Starts a new stream.
  virtual bool Reset() = 0;
  // Takes input from `in` and writes at most `outLength` bytes to `out`; `consumed` and
  // `produced` say how much of each. Input that is not consumed must be offered again.
  virtual Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                         size_t outLength, size_t& produced) = 0;
};

// The ZIP format's CRC-32 of `length` bytes, continuing from `crc` (0 to start).
uint32_t ZipCrc32(uint32_t crc, const void* data, size_t length);
