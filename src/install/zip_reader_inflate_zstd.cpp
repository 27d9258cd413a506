#include <zstd.h>

#include "install/zip_reader_codecs.h"

namespace {

class ZstdInflater final : public ZipInflater {
 public:
  ~ZstdInflater() override { ZSTD_freeDCtx(context_); }

  bool Reset() override {
    if (context_ == nullptr) context_ = ZSTD_createDCtx();
    // The default window limit (128 MiB) stays: a frame that asks for more is refused rather
    // than given that much memory.
    return context_ != nullptr && !ZSTD_isError(ZSTD_DCtx_reset(context_, ZSTD_reset_session_only));
  }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    ZSTD_inBuffer input{in, inLength, 0};
    ZSTD_outBuffer output{out, outLength, 0};
    const size_t result = ZSTD_decompressStream(context_, &output, &input);
    consumed = input.pos;
    produced = output.pos;
    if (ZSTD_isError(result)) return Status::kCorrupt;
    // 0: a frame is complete and all its output handed out. A writer may put several frames
    // in one entry; one that follows in this input is decoded on the next call.
    if (result == 0 && input.pos == input.size) return Status::kEnd;
    return Status::kProgress;
  }

 private:
  ZSTD_DCtx* context_ = nullptr;
};

}  // namespace

std::unique_ptr<ZipInflater> CreateZstdInflater() {
  return std::make_unique<ZstdInflater>();
}
