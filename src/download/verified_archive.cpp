#include <utility>
#include <vector>

#include "download/download_engine.h"
#include "download/streamed_signature_check.h"

namespace {

// The archive's signature checked once more over the bytes as they are read again: what is
// used verifies by itself, whatever became of the file since its download verified.
class SignatureCheckedAgain final : public BytesCheck {
 public:
  SignatureCheckedAgain(std::unique_ptr<StreamedSignatureCheck> check, std::vector<uint8_t> der)
      : check_(std::move(check)), der_(std::move(der)) {}

  void Add(const void* data, size_t length) override {
    check_->Wrote(offset_, data, length);
    offset_ += length;
  }

  bool Matches(uint64_t size) override {
    return check_->Finish(size, der_) == SignatureVerdict::kValid;
  }

 private:
  std::unique_ptr<StreamedSignatureCheck> check_;
  std::vector<uint8_t> der_;
  uint64_t offset_ = 0;
};

}  // namespace

std::unique_ptr<BytesCheck> DownloadEngine::VerifiedBytesCheck() const {
  if (!archiveVerified.load()) return nullptr;
  std::unique_ptr<StreamedSignatureCheck> check = StreamedSignatureCheck::Start(archiveKey);
  if (!check) return nullptr;
  return std::make_unique<SignatureCheckedAgain>(std::move(check), verifiedSignature_);
}
