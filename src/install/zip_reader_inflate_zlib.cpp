#include <zlib.h>

#include <limits>

#include "install/zip_reader_inflate.h"

namespace {

class ZlibInflater final : public ZipInflater {
 public:
  ~ZlibInflater() override {
    if (ready_) inflateEnd(&stream_);
  }

  bool Reset() override {
    if (ready_) return inflateReset(&stream_) == Z_OK;
    // Negative window bits: raw deflate, no zlib header or trailer.
    ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
    return ready_;
  }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    constexpr size_t kMost = std::numeric_limits<uInt>::max();
    const auto inAvailable = static_cast<uInt>(inLength < kMost ? inLength : kMost);
    const auto outAvailable = static_cast<uInt>(outLength < kMost ? outLength : kMost);
    stream_.next_in = const_cast<Bytef*>(in);  // zlib's field is not const; it only reads
    stream_.avail_in = inAvailable;
    stream_.next_out = out;
    stream_.avail_out = outAvailable;
    const int result = inflate(&stream_, Z_NO_FLUSH);
    consumed = inAvailable - stream_.avail_in;
    produced = outAvailable - stream_.avail_out;
    if (result == Z_STREAM_END) return Status::kEnd;
    // Z_BUF_ERROR only says that no progress was possible: more input is needed.
    if (result == Z_OK || result == Z_BUF_ERROR) return Status::kProgress;
    return Status::kCorrupt;
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<ZipInflater> ZipInflater::Create() {
  return std::make_unique<ZlibInflater>();
}

uint32_t ZipCrc32(uint32_t crc, const void* data, size_t length) {
  return static_cast<uint32_t>(crc32_z(crc, static_cast<const Bytef*>(data), length));
}
