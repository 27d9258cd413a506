#include <lzma.h>

#include <algorithm>
#include <cstring>

#include "install/zip_reader_codecs.h"

namespace {

// A decoder never gets more memory than this: xz -9 needs about 65 MiB, and an archive that
// asks for more is refused rather than trusted with it.
constexpr uint64_t kMemoryLimit = 256ull * 1024 * 1024;

// Both methods run through one liblzma stream; they differ only in how it starts.
class LzmaStreamInflater : public ZipInflater {
 public:
  ~LzmaStreamInflater() override { lzma_end(&stream_); }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    consumed = 0;
    produced = 0;
    return Decode(in, inLength, consumed, out, outLength, produced);
  }

 protected:
  Status Decode(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                size_t outLength, size_t& produced) {
    stream_.next_in = in;
    stream_.avail_in = inLength;
    stream_.next_out = out;
    stream_.avail_out = outLength;
    // The end of the entry's data must be said to a decoder of concatenated streams, which
    // otherwise waits for another; the .lzma decoder takes it as well.
    const lzma_ret result = lzma_code(&stream_, inLength == 0 ? LZMA_FINISH : LZMA_RUN);
    consumed += inLength - stream_.avail_in;
    produced += outLength - stream_.avail_out;
    if (result == LZMA_STREAM_END) return Status::kEnd;
    // LZMA_BUF_ERROR only says that no progress was possible: more input is needed.
    if (result == LZMA_OK || result == LZMA_BUF_ERROR) return Status::kProgress;
    return Status::kCorrupt;
  }

  lzma_stream stream_ = LZMA_STREAM_INIT;
};

class XzInflater final : public LzmaStreamInflater {
 public:
  // Concatenated: a writer may put several streams one after another, with stream padding
  // between them, as the xz format allows.
  bool Reset() override {
    return lzma_stream_decoder(&stream_, kMemoryLimit, LZMA_CONCATENATED) == LZMA_OK;
  }
};

// ZIP's LZMA entries carry the properties in a header of their own; liblzma's decoder of the
// old .lzma format takes the same properties followed by the uncompressed size, so the header
// is rewritten into that form and handed to the decoder ahead of the data.
class LzmaInflater final : public LzmaStreamInflater {
 public:
  LzmaInflater(bool endMarker, uint64_t size) : endMarker_(endMarker), size_(size) {}

  bool Reset() override {
    headerLength_ = 0;
    aloneUsed_ = 0;
    return lzma_alone_decoder(&stream_, kMemoryLimit) == LZMA_OK;
  }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    consumed = 0;
    produced = 0;
    if (headerLength_ < sizeof header_) {
      const size_t take = std::min(inLength, sizeof header_ - headerLength_);
      std::memcpy(header_ + headerLength_, in, take);
      headerLength_ += take;
      consumed = take;
      if (headerLength_ < sizeof header_) return Status::kProgress;
      if (!MakeAloneHeader()) return Status::kCorrupt;
      in += take;
      inLength -= take;
    }
    if (aloneUsed_ < sizeof alone_) {
      // The rewritten header first; liblzma reads it only when there is room for output.
      size_t used = 0;
      const Status status =
          Decode(alone_ + aloneUsed_, sizeof alone_ - aloneUsed_, used, out, outLength, produced);
      aloneUsed_ += used;
      return status;
    }
    return Decode(in, inLength, consumed, out, outLength, produced);
  }

 private:
  bool MakeAloneHeader() {
    constexpr size_t kPropertiesLength = 5;
    if (header_[2] != kPropertiesLength || header_[3] != 0) return false;
    std::memcpy(alone_, header_ + 4, kPropertiesLength);
    // All ones: the size is unknown and the data ends with its end marker.
    const uint64_t size = endMarker_ ? ~0ull : size_;
    for (size_t i = 0; i < 8; ++i)
      alone_[kPropertiesLength + i] = static_cast<uint8_t>(size >> (8 * i));
    return true;
  }

  const bool endMarker_;
  const uint64_t size_;
  uint8_t header_[9] = {};  // version (2), properties size (2), properties (5)
  size_t headerLength_ = 0;
  uint8_t alone_[13] = {};  // properties (5), uncompressed size (8)
  size_t aloneUsed_ = 0;
};

}  // namespace

std::unique_ptr<ZipInflater> CreateXzInflater() {
  return std::make_unique<XzInflater>();
}

std::unique_ptr<ZipInflater> CreateLzmaInflater(bool endMarker, uint64_t size) {
  return std::make_unique<LzmaInflater>(endMarker, size);
}
