#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/bytes_check.h"

// Read access to one ZIP archive, as the extraction engine needs it. One backend per reader
// library (libzip on Linux); the engine sees only this interface.
//
// Promises: an archive opens only when it says the same to every reader (install/zip_layout.h:
// a self-extracting prefix and padding are accepted, contradicting local headers, overlapping
// entries and exact duplicate names are not); entry data is handed over in file order in chunks of
// kMaxChunk bytes (the last one shorter), and an entry succeeds only when its data matched the
// recorded size and CRC-32. Stored entries and the methods of install/zip_reader_inflate.h are
// read; encrypted entries and other methods fail, and the failure's text names the method or the
// encryption. With a check (base/bytes_check.h), the archive is opened once and every read goes
// through that one open file (on Windows shared with readers only, install/archive_file.h);
// ArchiveMatches then says whether the bytes read were the ones the check expects. Does not
// promise: anything about entry names (they come as stored, unchecked), or thread safety (one
// reader belongs to one worker).

// Where an entry's data goes. Returning less than `length` stops the entry, which then fails.
class ZipChunkSink {
 public:
  virtual ~ZipChunkSink() = default;
  virtual size_t Write(uint64_t offset, const void* data, size_t length) = 0;
};

struct ZipEntryInfo {
  std::string name;          // the stored name: UTF-8, or CP437 decoded to UTF-8 when unmarked
  std::string rawName;       // the name's bytes as stored, before any decoding
  uint64_t size = 0;         // uncompressed size as recorded
  bool isDirectory = false;  // name ends in '/' or the DOS directory bit 0x10 is set
  bool madeOnUnix = false;   // the entry's attributes are a Unix mode (high 16 bits)
  uint32_t unixMode = 0;     // st_mode as recorded; meaningful only when madeOnUnix

  bool IsSymbolicLink() const { return madeOnUnix && (unixMode & 0170000u) == 0120000u; }
};

class ZipReader {
 public:
  // The page's progress figures and the latency of a cancel are stated in chunks of this size.
  static constexpr size_t kMaxChunk = 32768;

  virtual ~ZipReader() = default;

  // Opens the archive at `utf8Path`. Null when it is missing, unreadable, or not a ZIP archive
  // (shorter than an end-of-central-directory record, no valid central directory), or when it
  // contradicts itself; `cause`, when given, then says why in a few words.
  static std::unique_ptr<ZipReader> Open(const std::string& utf8Path,
                                         std::unique_ptr<BytesCheck> check = nullptr,
                                         std::string* cause = nullptr);

  virtual uint64_t EntryCount() const = 0;
  // False when the entry's directory record cannot be read.
  virtual bool Stat(uint64_t index, ZipEntryInfo& info) = 0;
  // Streams the entry's data into `sink`. False on any failure: unsupported method, encrypted,
  // corrupt data, size or CRC-32 mismatch, or the sink stopping. `error` gets a short reason.
  virtual bool Extract(uint64_t index, ZipChunkSink& sink, std::string& error) = 0;
  // Once, after the extraction: hands the check every byte the reads so far did not (each byte
  // reaches it once, in order, read through the file opened by Open), and answers whether the
  // check accepts the archive and nothing was written to the file while it was open. True when
  // there is no check.
  virtual bool ArchiveMatches() = 0;
};
