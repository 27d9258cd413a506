#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "trust/archive_signature.h"

namespace {

// The fixed DER prefix of a P-256 SubjectPublicKeyInfo; the 64 bytes after it are X and Y.
constexpr uint8_t kSpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                   0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                   0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

bool Ok(NTSTATUS status) {
  return status >= 0;
}

class CngSha256 final : public Sha256Stream {
 public:
  ~CngSha256() override {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
  }

  bool Open() {
    return Ok(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
           Ok(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0));
  }

  bool Update(const uint8_t* data, size_t length) override {
    while (length > 0) {  // BCryptHashData takes a 32-bit length
      const ULONG chunk = static_cast<ULONG>(std::min<size_t>(length, 1u << 30));
      if (!Ok(BCryptHashData(hash_, const_cast<PUCHAR>(data), chunk, 0))) return false;
      data += chunk;
      length -= chunk;
    }
    return true;
  }

  std::optional<Sha256Digest> Finish() override {
    Sha256Digest digest{};
    if (!Ok(BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
      return std::nullopt;
    }
    return digest;
  }

 private:
  BCRYPT_ALG_HANDLE algorithm_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
};

// BCryptVerifySignature of a digest against the key imported as an ECCPUBLIC blob. CNG takes
// the raw r || s form.
class CngVerifier final : public EcdsaP256Verifier {
 public:
  ~CngVerifier() override {
    if (key_ != nullptr) BCryptDestroyKey(key_);
    if (ecdsa_ != nullptr) BCryptCloseAlgorithmProvider(ecdsa_, 0);
  }

  bool Open(std::span<const uint8_t> publicKey) {
    if (publicKey.size() != sizeof(kSpkiPrefix) + 64 ||
        !std::equal(std::begin(kSpkiPrefix), std::end(kSpkiPrefix), publicKey.begin())) {
      return false;
    }
    std::vector<uint8_t> blob(sizeof(BCRYPT_ECCKEY_BLOB) + 64);
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof(header));
    std::copy(publicKey.begin() + sizeof(kSpkiPrefix), publicKey.end(),
              blob.begin() + sizeof(header));
    return Ok(BCryptOpenAlgorithmProvider(&ecdsa_, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0)) &&
           Ok(BCryptImportKeyPair(ecdsa_, nullptr, BCRYPT_ECCPUBLIC_BLOB, &key_, blob.data(),
                                  static_cast<ULONG>(blob.size()), 0));
  }

  bool Verify(const Sha256Digest& digest, std::span<const uint8_t>,
              const std::array<uint8_t, 64>& raw) override {
    Sha256Digest hashed = digest;
    std::array<uint8_t, 64> signature = raw;
    return Ok(BCryptVerifySignature(key_, nullptr, hashed.data(), static_cast<ULONG>(hashed.size()),
                                    signature.data(), static_cast<ULONG>(signature.size()), 0));
  }

 private:
  BCRYPT_ALG_HANDLE ecdsa_ = nullptr;
  BCRYPT_KEY_HANDLE key_ = nullptr;
};

}  // namespace

std::unique_ptr<Sha256Stream> Sha256Stream::Create() {
  auto hash = std::make_unique<CngSha256>();
  if (!hash->Open()) return nullptr;
  return hash;
}

std::unique_ptr<EcdsaP256Verifier> EcdsaP256Verifier::Create(std::span<const uint8_t> publicKey) {
  auto verifier = std::make_unique<CngVerifier>();
  if (!verifier->Open(publicKey)) return nullptr;
  return verifier;
}
