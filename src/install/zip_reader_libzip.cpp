#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <system_error>
#include <vector>

#include "install/archive_file.h"
#include "install/zip_entry_name.h"
#include "install/zip_layout.h"
#include "install/zip_reader.h"
#include "install/zip_reader_inflate.h"

namespace {

// The end-of-central-directory record alone is this long; libzip would take a shorter (even
// empty) file for a new, empty archive.
constexpr uintmax_t kSmallestArchive = 22;

// The archive as libzip reads it: one buffer of our own over the open file. libzip's own file
// source seeks before every 8 KiB read, and around each entry's local header; here a read inside
// the buffer costs no system call, and the file is read in large sequential blocks.
//
// libzip sees the file from `base` on (install/zip_layout.h), so that an archive behind a
// self-extracting prefix reads at the offsets it records; the check sees the whole file.
//
// With a check, each block read also goes to the check when it continues the bytes checked so
// far, so that an extraction in file order checks the archive on the way; CheckRest reads what
// the extraction skipped.
class ArchiveStream {
 public:
  static constexpr size_t kBufferSize = 256 * 1024;

  ArchiveStream(std::unique_ptr<ArchiveFile> file, std::unique_ptr<BytesCheck> check)
      : file_(std::move(file)), check_(std::move(check)), size_(file_->Size()) {
    buffer_.resize(kBufferSize);
    zip_error_init(&error_);
  }

  uint64_t size() const { return size_; }
  void SetBase(uint64_t base) { base_ = base; }

  // Exactly `length` bytes at the file's offset `at`: through the buffer when they lie in it or
  // shortly after the previous read (a walk through records close together), else read alone,
  // so that the local headers of large entries cost a small read each, not a buffer's worth.
  bool ReadExactly(uint64_t at, void* data, size_t length) {
    const bool buffered = at >= bufferStart_ && at + length <= bufferStart_ + bufferLength_;
    const bool near = at >= lastEnd_ && at - lastEnd_ < kBufferSize / 4;
    lastEnd_ = at + length;
    if (buffered || near || length >= kBufferSize) {
      return Copy(at, static_cast<char*>(data), length) == length;
    }
    auto* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < length) {
      const int64_t got = file_->ReadAt(at + done, out + done, length - done);
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }

  // Hands the bytes not checked yet to the check, through the same open file, and answers
  // whether the check accepts the whole archive and nobody wrote to the file while it was read.
  // Without a check: true.
  bool CheckRest() {
    if (!check_) return true;
    bufferLength_ = 0;  // the buffer is reused below
    while (checked_ < size_) {
      const int64_t got =
          file_->ReadAt(checked_, buffer_.data(),
                        static_cast<size_t>(std::min<uint64_t>(kBufferSize, size_ - checked_)));
      if (got <= 0) return false;
      Checked(checked_, buffer_.data(), static_cast<uint64_t>(got));
    }
    const bool matches = check_->Matches(size_);
    return matches && file_->UnchangedSinceOpen();
  }

  static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    return static_cast<ArchiveStream*>(state)->Handle(data, length, cmd);
  }

 private:
  zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
        position_ = 0;
        return 0;
      case ZIP_SOURCE_READ:
        return Read(static_cast<char*>(data), length);
      case ZIP_SOURCE_CLOSE:
        return 0;
      case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = size_ - base_;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(*st);
      }
      case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error_, data, length);
      case ZIP_SOURCE_FREE:
        zip_error_fini(&error_);
        delete this;
        return 0;
      case ZIP_SOURCE_SEEK: {
        const zip_int64_t target =
            zip_source_seek_compute_offset(position_, size_ - base_, data, length, &error_);
        if (target < 0) return -1;
        position_ = static_cast<uint64_t>(target);
        return 0;
      }
      case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(position_);
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, -1);
      default:
        zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  }

  zip_int64_t Read(char* data, zip_uint64_t length) {
    if (position_ >= size_ - base_) return 0;
    const uint64_t copied = Copy(base_ + position_, data, length);
    if (copied == 0) {
      zip_error_set(&error_, ZIP_ER_READ, EIO);
      return -1;
    }
    position_ += copied;
    return static_cast<zip_int64_t>(copied);
  }

  // Up to `length` bytes at the file's offset `at` into `data`; fewer only at the end of the
  // file or on a read error.
  uint64_t Copy(uint64_t at, char* data, uint64_t length) {
    if (at >= size_) return 0;
    const uint64_t wanted = std::min<uint64_t>(length, size_ - at);
    uint64_t copied = 0;
    while (copied < wanted) {
      if (at >= bufferStart_ && at < bufferStart_ + bufferLength_) {
        const uint64_t take =
            std::min<uint64_t>(wanted - copied, bufferStart_ + bufferLength_ - at);
        std::memcpy(data + copied, buffer_.data() + (at - bufferStart_), take);
        at += take;
        copied += take;
      } else if (!Fill(at)) {
        break;
      }
    }
    return copied;
  }

  bool Fill(uint64_t at) {
    const int64_t got = file_->ReadAt(at, buffer_.data(), buffer_.size());
    bufferStart_ = at;
    bufferLength_ = got > 0 ? static_cast<uint64_t>(got) : 0;
    if (bufferLength_ == 0) return false;
    Checked(at, buffer_.data(), bufferLength_);
    return true;
  }

  // The part of [at, at + length) that continues the checked bytes goes to the check.
  void Checked(uint64_t at, const char* data, uint64_t length) {
    if (!check_ || at > checked_ || at + length <= checked_) return;
    const uint64_t skip = checked_ - at;
    check_->Add(data + skip, static_cast<size_t>(length - skip));
    checked_ = at + length;
  }

  std::unique_ptr<ArchiveFile> file_;
  std::unique_ptr<BytesCheck> check_;
  std::vector<char> buffer_;
  uint64_t size_ = 0;
  uint64_t base_ = 0;
  uint64_t position_ = 0;  // libzip's position, from base_
  uint64_t bufferStart_ = 0;
  uint64_t bufferLength_ = 0;
  uint64_t checked_ = 0;  // the bytes before this offset went to the check
  uint64_t lastEnd_ = 0;  // where the previous ReadExactly ended
  zip_error_t error_;
};

// "12 (bzip2)": the number as recorded, and what it is where it is known.
std::string MethodName(const zip_stat_t& st) {
  if ((st.valid & ZIP_STAT_COMP_METHOD) == 0) return "unknown";
  const char* known = nullptr;
  switch (st.comp_method) {
    case 1:
      known = "shrink";
      break;
    case 6:
      known = "implode";
      break;
    case 9:
      known = "deflate64";
      break;
    case 12:
      known = "bzip2";
      break;
    case 14:
      known = "LZMA";
      break;
    case 20:
    case 93:
      known = "zstd";
      break;
    case 95:
      known = "xz";
      break;
    case 96:
      known = "JPEG";
      break;
    case 97:
      known = "WavPack";
      break;
    case 98:
      known = "PPMd";
      break;
    case 99:
      known = "AES";
      break;
    default:
      break;
  }
  const std::string number = std::to_string(st.comp_method);
  return known != nullptr ? number + " (" + known + ")" : number;
}

std::string EncryptionName(const zip_stat_t& st) {
  if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0) return "unknown method";
  switch (st.encryption_method) {
    case ZIP_EM_TRAD_PKWARE:
      return "traditional PKWARE";
    case ZIP_EM_AES_128:
      return "AES-128";
    case ZIP_EM_AES_192:
      return "AES-192";
    case ZIP_EM_AES_256:
      return "AES-256";
    default:
      return "method " + std::to_string(st.encryption_method);
  }
}

class LibzipReader final : public ZipReader {
 public:
  LibzipReader(zip_t* archive, ArchiveStream* stream, ZipLayout layout)
      : archive_(archive), stream_(stream), layout_(std::move(layout)) {}
  ~LibzipReader() override { zip_discard(archive_); }

  bool ArchiveMatches() override { return stream_->CheckRest(); }

  uint64_t EntryCount() const override {
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    return count < 0 ? 0 : static_cast<uint64_t>(count);
  }

  bool Stat(uint64_t index, ZipEntryInfo& info) override {
    zip_stat_t st;
    if (zip_stat_index(archive_, index, 0, &st) != 0) return false;
    if ((st.valid & ZIP_STAT_NAME) == 0 || st.name == nullptr) return false;
    const char* raw = zip_get_name(archive_, index, ZIP_FL_ENC_RAW);
    info.rawName = raw != nullptr ? raw : st.name;
    // Decoded by our own rule, not by the library's guess, which differs between its versions.
    const uint16_t flags = index < layout_.entries.size() ? layout_.entries[index].flags : 0;
    info.name = raw != nullptr ? ZipEntryNameToUtf8(info.rawName, flags) : st.name;
    info.size = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive_, index, 0, &opsys, &attributes) != 0) {
      opsys = ZIP_OPSYS_DOS;
      attributes = 0;
    }
    info.madeOnUnix = opsys == ZIP_OPSYS_UNIX;
    info.unixMode = info.madeOnUnix ? attributes >> 16 : 0;
    info.isDirectory = (!info.name.empty() && info.name.back() == '/') || (attributes & 0x10) != 0;
    return true;
  }

  bool Extract(uint64_t index, ZipChunkSink& sink, std::string& error) override {
    zip_stat_t st;
    if (zip_stat_index(archive_, index, 0, &st) != 0) {
      error = zip_strerror(archive_);
      return false;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0 || st.encryption_method != ZIP_EM_NONE) {
      error = "encrypted entry (" + EncryptionName(st) + ")";
      return false;
    }
    if ((st.valid & ZIP_STAT_COMP_METHOD) == 0) {
      error = "unsupported compression method " + MethodName(st);
      return false;
    }
    const uint64_t expected = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
    if (st.comp_method != ZIP_CM_STORE) {
      std::unique_ptr<ZipInflater>& decoder = decoders_[st.comp_method];
      const uint16_t flags = index < layout_.entries.size() ? layout_.entries[index].flags : 0;
      if (st.comp_method == kLzmaMethod || !decoder) {
        decoder = ZipInflater::ForMethod(static_cast<uint16_t>(st.comp_method), flags, expected);
      }
      if (!decoder) {
        error = "unsupported compression method " + MethodName(st);
        return false;
      }
      return ExtractDecoded(index, *decoder, st, expected, sink, error);
    }
    zip_file_t* file = zip_fopen_index(archive_, index, 0);
    if (file == nullptr) {
      error = zip_strerror(archive_);
      return false;
    }
    buffer_.resize(kMaxChunk);
    uint64_t total = 0;
    bool ok = true;
    for (;;) {
      const zip_int64_t n = zip_fread(file, buffer_.data(), buffer_.size());
      if (n < 0) {
        error = zip_file_strerror(file);
        ok = false;
        break;
      }
      if (n == 0) break;
      const size_t length = static_cast<size_t>(n);
      if (!Hand(sink, buffer_.data(), length, expected, total, error)) {
        ok = false;
        break;
      }
    }
    if (ok && total != expected) {
      error = "less data than the recorded size";
      ok = false;
    }
    if (zip_fclose(file) != 0 && ok) {
      error = "read error";
      ok = false;
    }
    return ok;
  }

 private:
  // Hands one chunk to the sink. A stream that inflates past its recorded size is refused
  // before the excess reaches the disk: the free-space check trusted the recorded sizes.
  static bool Hand(ZipChunkSink& sink, const uint8_t* data, size_t length, uint64_t expected,
                   uint64_t& total, std::string& error) {
    if (static_cast<uint64_t>(length) > expected - total) {
      // An entry of 4 GiB or more whose writer recorded its size in 32 bits reads so too.
      error = "more data than the recorded size of " + std::to_string(expected) + " bytes";
      return false;
    }
    if (sink.Write(total, data, length) != length) {
      error = "stopped";
      return false;
    }
    total += length;
    return true;
  }

  // A compressed entry: libzip hands over the raw stream in large reads, and the method's
  // decoder (for deflate faster than libzip's own zlib layer) fills one chunk at a time.
  bool ExtractDecoded(uint64_t index, ZipInflater& decoder, const zip_stat_t& st, uint64_t expected,
                      ZipChunkSink& sink, std::string& error) {
    if (!decoder.Reset()) {
      error = "cannot start the decoder of method " + MethodName(st);
      return false;
    }
    zip_file_t* file = zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED);
    if (file == nullptr) {
      error = zip_strerror(archive_);
      return false;
    }
    buffer_.resize(kOutputBlock);
    input_.resize(kInputBlock);
    size_t inStart = 0;
    size_t inEnd = 0;
    bool inputEnded = false;
    uint64_t total = 0;
    uint32_t crc = 0;
    bool ok = true;
    for (;;) {
      if (inStart == inEnd && !inputEnded) {
        const zip_int64_t n = zip_fread(file, input_.data(), input_.size());
        if (n < 0) {
          error = zip_file_strerror(file);
          ok = false;
          break;
        }
        inStart = 0;
        inEnd = static_cast<size_t>(n);
        inputEnded = n == 0;
      }
      size_t consumed = 0;
      size_t produced = 0;
      const ZipInflater::Status status =
          decoder.Inflate(input_.data() + inStart, inEnd - inStart, consumed, buffer_.data(),
                          buffer_.size(), produced);
      inStart += consumed;
      if (produced > 0) {
        crc = ZipCrc32(crc, buffer_.data(), produced);
        // The sink still gets chunks of at most kMaxChunk: progress and cancel keep their step.
        for (size_t at = 0; ok && at < produced; at += kMaxChunk) {
          ok = Hand(sink, buffer_.data() + at, std::min(kMaxChunk, produced - at), expected, total,
                    error);
        }
        if (!ok) break;
      }
      if (status == ZipInflater::Status::kCorrupt) {
        error = "invalid compressed data";
        ok = false;
        break;
      }
      if (status == ZipInflater::Status::kEnd) break;
      if (inputEnded && inStart == inEnd && consumed == 0 && produced == 0) {
        error = total < expected ? "less data than the recorded size"
                                 : "the compressed data ends early";
        ok = false;
        break;
      }
    }
    if (ok && total != expected) {
      error = "less data than the recorded size";
      ok = false;
    }
    if (ok && (st.valid & ZIP_STAT_CRC) != 0 && crc != st.crc) {
      error = "CRC error";
      ok = false;
    }
    if (zip_fclose(file) != 0 && ok) {
      error = "read error";
      ok = false;
    }
    return ok;
  }

  // Compressed data is read in blocks this large: few calls, and the inflater's fast path.
  static constexpr size_t kInputBlock = 256 * 1024;
  // Decoders write this much per call: a zstd decoder given less output room than a block
  // decodes into its own buffer and copies out.
  static constexpr size_t kOutputBlock = 256 * 1024;

  zip_t* archive_;
  ArchiveStream* stream_;  // freed with archive_'s source
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> input_;
  // One decoder per method, kept across entries; LZMA's is made per entry (it reads the
  // entry's flags and size).
  static constexpr int kLzmaMethod = 14;
  std::map<int, std::unique_ptr<ZipInflater>> decoders_;
  ZipLayout layout_;
};

// True when libzip reads the directory that the layout checked: libzip picks its own end record
// among several candidates, and only the layout's was checked.
bool SameDirectory(zip_t* archive, const ZipLayout& layout) {
  constexpr uint16_t kAesMethod = 99;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || static_cast<uint64_t>(count) != layout.entries.size()) return false;
  for (zip_uint64_t i = 0; i < layout.entries.size(); ++i) {
    const ZipLayoutEntry& entry = layout.entries[i];
    zip_stat_t st;
    if (zip_stat_index(archive, i, 0, &st) != 0) return false;
    constexpr zip_uint64_t kNeeded =
        ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
    if ((st.valid & kNeeded) != kNeeded || st.size != entry.size ||
        st.comp_size != entry.compressedSize || st.crc != entry.crc ||
        // An AES-encrypted entry records method 99; libzip shows the method inside.
        (entry.method != kAesMethod && static_cast<uint16_t>(st.comp_method) != entry.method)) {
      return false;
    }
  }
  return true;
}

std::unique_ptr<ZipReader> OpenLibzip(const std::string& utf8Path,
                                      std::unique_ptr<BytesCheck> check, std::string& cause) {
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  std::unique_ptr<ArchiveFile> file = ArchiveFile::Open(
      path, check ? ArchiveFile::Sharing::kReadersOnly : ArchiveFile::Sharing::kWithWriters);
  if (!file) {
    cause = "the file cannot be opened";
    return nullptr;
  }
  if (file->Size() < kSmallestArchive) {
    cause = "the file is too short for an archive";
    return nullptr;
  }
  auto stream = std::make_unique<ArchiveStream>(std::move(file), std::move(check));
  // libzip's own consistency check (ZIP_CHECKCONS) also refuses differences that every other
  // tool tolerates (times, versions, extra fields); the layout refuses exactly what misleads.
  std::optional<ZipLayout> layout = ReadZipLayout(
      stream->size(),
      [&stream](uint64_t at, void* data, size_t length) {
        return stream->ReadExactly(at, data, length);
      },
      cause);
  if (!layout) return nullptr;
  stream->SetBase(layout->base);
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_function_create(ArchiveStream::Callback, stream.get(), &error);
  if (source == nullptr) {
    cause = zip_error_strerror(&error);
    zip_error_fini(&error);
    return nullptr;
  }
  ArchiveStream* const reading = stream.release();  // the source frees it (ZIP_SOURCE_FREE)
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (archive == nullptr) {
    cause = zip_error_strerror(&error);
    zip_error_fini(&error);
    zip_source_free(source);
    return nullptr;
  }
  zip_error_fini(&error);
  if (!SameDirectory(archive, *layout)) {
    cause = "the archive holds more than one central directory";
    zip_discard(archive);
    return nullptr;
  }
  return std::make_unique<LibzipReader>(archive, reading, std::move(*layout));
}

}  // namespace

std::unique_ptr<ZipReader> ZipReader::Open(const std::string& utf8Path,
                                           std::unique_ptr<BytesCheck> check, std::string* cause) {
  std::string reason;
  std::unique_ptr<ZipReader> reader = OpenLibzip(utf8Path, std::move(check), reason);
  if (cause != nullptr) *cause = reason;
  return reader;
}
