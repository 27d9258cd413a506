#include "trust/verified_archive.h"

#include <system_error>
#include <utility>

#include "base/utf8_path.h"
#include "base/utf_convert.h"

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

bool VerifiedArchive::Record(const std::filesystem::path& path, const Sha256Digest& digest) {
  if (recorded_.load()) return false;
  std::error_code sizeError;
  std::error_code timeError;
  const uint64_t size = std::filesystem::file_size(path, sizeError);
  const std::filesystem::file_time_type written = std::filesystem::last_write_time(path, timeError);
  if (sizeError || timeError) return false;
  path_ = path;
  size_ = size;
  writeTime_ = written;
  digest_ = digest;
  recorded_.exchange(true);
  return true;
}

bool VerifiedArchive::Is(const std::string& des) const {
  if (!recorded_.load() || des != SanitizeUtf8(GenericPathToUtf8(path_))) return false;
  std::error_code sizeError;
  std::error_code timeError;
  const uint64_t size = std::filesystem::file_size(path_, sizeError);
  const std::filesystem::file_time_type written =
      std::filesystem::last_write_time(path_, timeError);
  return !sizeError && !timeError && size == size_ && written == writeTime_;
}

std::unique_ptr<BytesCheck> VerifiedArchive::SameBytesCheck() const {
  if (!recorded_.load()) return nullptr;
  std::unique_ptr<Sha256Stream> hash = Sha256Stream::Create();
  if (!hash) return nullptr;
  return std::make_unique<DigestCheckedAgain>(std::move(hash), digest_);
}
