#include <zstd.h>

#include "install/zip_reader_codecs.h"

namespace {

class ZstdInflater final : public ZipInflater {
 public:
  ~ZstdInflater() override { ZSTD_freeDCtx(context_); }

  bool Reset() override {
    atFrameEnd_ = false;
    if (context_ == nullptr) context_ = ZSTD_createDCtx();
    // The default window limit (128 MiB) stays: a frame that asks for more is refused rather
    // than given that much memory.
    return context_ != nullptr && !ZSTD_isError(ZSTD_DCtx_reset(context_, ZSTD_reset_session_only));
  }

  Status Inflate(const uint8_t* in, size_t inLength, size_t& consumed, uint8_t* out,
                 size_t outLength, size_t& produced) override {
    if (inLength == 0 && atFrameEnd_) {
      consumed = 0;
      produced = 0;
      return Status::kEnd;
    }
    ZSTD_inBuffer input{in, inLength, 0};
    ZSTD_outBuffer output{out, outLength, 0};
    const size_t result = ZSTD_decompressStream(context_, &output, &input);
    consumed = input.pos;
    produced = output.pos;
    if (ZSTD_isError(result)) return Status::kCorrupt;
    // 0: a frame is complete and all its output handed out. Another frame may follow, in this
    // input or the next block's; only the end of the entry's data ends the entry.
    atFrameEnd_ = result == 0;
    return Status::kProgress;
  }

 private:
  ZSTD_DCtx* context_ = nullptr;
  bool atFrameEnd_ = false;
};

}  // namespace

std::unique_ptr<ZipInflater> CreateZstdInflater() {
  return std::make_unique<ZstdInflater>();
}
