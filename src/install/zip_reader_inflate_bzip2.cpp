#include <bzlib.h>

#include <algorithm>
#include <limits>

#include "install/zip_reader_codecs.h"

namespace {

class Bzip2Inflater final : public ZipInflater {
 public:
  ~Bzip2Inflater() override {
    if (ready_) BZ2_bzDecompressEnd(&stream_);
  }

  bool Reset() override {
    if (ready_) BZ2_bzDecompressEnd(&stream_);
    stream_ = bz_stream{};
    ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
    return ready_;
  }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    constexpr size_t kMost = std::numeric_limits<unsigned int>::max();
    const auto inAvailable = static_cast<unsigned int>(std::min(inLength, kMost));
    const auto outAvailable = static_cast<unsigned int>(std::min(outLength, kMost));
    // bzlib's fields are not const; it only reads the input.
    stream_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
    stream_.avail_in = inAvailable;
    stream_.next_out = reinterpret_cast<char*>(out);
    stream_.avail_out = outAvailable;
    const int result = BZ2_bzDecompress(&stream_);
    consumed = inAvailable - stream_.avail_in;
    produced = outAvailable - stream_.avail_out;
    if (result == BZ_STREAM_END) return Status::kEnd;
    return result == BZ_OK ? Status::kProgress : Status::kCorrupt;
  }

 private:
  bz_stream stream_{};
  bool ready_ = false;
};

}  // namespace

std::unique_ptr<ZipInflater> CreateBzip2Inflater() {
  return std::make_unique<Bzip2Inflater>();
}
