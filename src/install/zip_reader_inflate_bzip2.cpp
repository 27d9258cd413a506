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
    atStreamEnd_ = false;
    return Restart();
  }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    consumed = 0;
    produced = 0;
    if (inLength == 0 && atStreamEnd_) return Status::kEnd;
    if (!ready_) return Status::kCorrupt;
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
    atStreamEnd_ = result == BZ_STREAM_END;
    // Parallel writers cut the data into pieces and write each as a stream of its own; bzlib
    // ends with each, and the next one needs a decoder started anew.
    if (atStreamEnd_) return Restart() ? Status::kProgress : Status::kCorrupt;
    return result == BZ_OK ? Status::kProgress : Status::kCorrupt;
  }

 private:
  bool Restart() {
    if (ready_) BZ2_bzDecompressEnd(&stream_);
    stream_ = bz_stream{};
    ready_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK;
    return ready_;
  }

  bz_stream stream_{};
  bool ready_ = false;
  bool atStreamEnd_ = false;
};

}  // namespace

std::unique_ptr<ZipInflater> CreateBzip2Inflater() {
  return std::make_unique<Bzip2Inflater>();
}
