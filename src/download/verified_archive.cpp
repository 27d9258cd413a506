#include <memory>
#include <utility>

#include "trust/archive_signature.h"
#include "download/download_engine.h"

namespace {

// The bytes read again for extraction against the SHA-256 that the signature verified (over
// the archive itself, or through the release manifest that names it): what is used must be
// what verified, whatever became of the file since.
class DigestCheckedAgain final : public BytesCheck {
 public:
  DigestCheckedAgain(std::unique_ptr<Sha256Stream> hash, const Sha256Digest& expected)
      : hash_(std::move(hash)), expected_(expected) {}

  void Add(const void* data, size_t length) override {
    if (!hash_->Update(static_cast<const uint8_t*>(data), length)) failed_ = true;
    hashed_ += length;
  }

  bool Matches(uint64_t size) override {
    if (failed_ || size != hashed_) return false;
    const std::optional<Sha256Digest> digest = hash_->Finish();
    return digest && *digest == expected_;
  }

 private:
  std::unique_ptr<Sha256Stream> hash_;
  Sha256Digest expected_;
  uint64_t hashed_ = 0;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<BytesCheck> DownloadEngine::VerifiedBytesCheck() const {
  if (!archiveVerified.load()) return nullptr;
  std::unique_ptr<Sha256Stream> hash = Sha256Stream::Create();
  if (!hash) return nullptr;
  return std::make_unique<DigestCheckedAgain>(std::move(hash), verifiedDigest_);
}
