#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Decodes one compressed ZIP entry's data piece by piece, into output windows the caller
// chooses, so that the reader can hand out chunks of its own size. Deflate has one backend per
// platform, the fastest inflater the platform offers (ISA-L on Linux, zlib on Windows); zstd,
// xz, LZMA and bzip2 go through their codec libraries, the same on every platform.
// Does not promise: any check of sizes or CRC-32 (the reader makes them), or thread safety.
class ZipInflater {
 public:
  enum class Status {
    kProgress,  // input consumed or output made; call again (with more input once it is used up)
    kEnd,       // the data's last stream is done and all its output has been handed out
    kCorrupt,   // the data is not a valid stream of the method
  };

  virtual ~ZipInflater() = default;
  // The platform's deflate inflater. Null only when it cannot be set up (out of memory).
  static std::unique_ptr<ZipInflater> Create();
  // The decoder of ZIP method `method` (8 deflate, 93 zstd, 95 xz, 14 LZMA, 12 bzip2) for an
  // entry of `size` bytes with general-purpose `flags` (LZMA reads both); null for any other
  // method.
  static std::unique_ptr<ZipInflater> ForMethod(uint16_t method, uint16_t flags, uint64_t size);

  // Starts a new stream.
  virtual bool Reset() = 0;
  // Takes input from `in` and writes at most `outLength` bytes to `out`; `consumed` and
  // `produced` say how much of each. Input that is not consumed must be offered again.
  // No input (`inLength` 0) says that the entry's data is used up. The methods whose data may
  // hold several streams one after another (zstd frames, xz and bzip2 streams, as parallel
  // writers make them) end only then, at a stream's end, since a stream that ends with an input
  // block says nothing of what follows; deflate and LZMA end with their one stream.
  virtual Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                         size_t outLength, size_t& produced) = 0;
};

// The ZIP format's CRC-32 of `length` bytes, continuing from `crc` (0 to start).
uint32_t ZipCrc32(uint32_t crc, const void* data, size_t length);
