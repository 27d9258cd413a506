#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string_view>

#include "trust/archive_signature.h"

namespace {

class OpenSslSha256 final : public Sha256Stream {
 public:
  explicit OpenSslSha256(EVP_MD_CTX* context) : context_(context) {}
  ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
  OpenSslSha256(const OpenSslSha256&) = delete;
  OpenSslSha256& operator=(const OpenSslSha256&) = delete;

  bool Update(const uint8_t* data, size_t length) override {
    return EVP_DigestUpdate(context_, data, length) == 1;
  }
  std::optional<Sha256Digest> Finish() override {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_, digest.data(), &length) != 1 || length != digest.size()) {
      return std::nullopt;
    }
    return digest;
  }

 private:
  EVP_MD_CTX* context_;
};

// ECDSA over a digest made elsewhere. OpenSSL takes the DER signature itself; the raw form is
// only for platforms that want it.
class OpenSslVerifier final : public EcdsaP256Verifier {
 public:
  explicit OpenSslVerifier(EVP_PKEY* key) : key_(key) {}
  ~OpenSslVerifier() override { EVP_PKEY_free(key_); }
  OpenSslVerifier(const OpenSslVerifier&) = delete;
  OpenSslVerifier& operator=(const OpenSslVerifier&) = delete;

  bool Verify(const Sha256Digest& digest, std::span<const uint8_t> der,
              const std::array<uint8_t, 64>&) override {
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key_, nullptr);
    const bool valid =
        context != nullptr && EVP_PKEY_verify_init(context) == 1 &&
        EVP_PKEY_CTX_set_signature_md(context, EVP_sha256()) == 1 &&
        EVP_PKEY_verify(context, der.data(), der.size(), digest.data(), digest.size()) == 1;
    EVP_PKEY_CTX_free(context);
    return valid;
  }

 private:
  EVP_PKEY* key_;
};

}  // namespace

std::unique_ptr<Sha256Stream> Sha256Stream::Create() {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(context);
    return nullptr;
  }
  return std::make_unique<OpenSslSha256>(context);
}

std::unique_ptr<EcdsaP256Verifier> EcdsaP256Verifier::Create(std::span<const uint8_t> publicKey) {
  const unsigned char* cursor = publicKey.data();
  EVP_PKEY* key = d2i_PUBKEY(nullptr, &cursor, static_cast<long>(publicKey.size()));
  if (key == nullptr) return nullptr;
  // Any other key type would verify other signatures than the ones this program asks for.
  char group[32] = {};
  if (cursor != publicKey.data() + publicKey.size() || !EVP_PKEY_is_a(key, "EC") ||
      EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof(group),
                                     nullptr) != 1 ||
      std::string_view(group) != "prime256v1") {
    EVP_PKEY_free(key);
    return nullptr;
  }
  return std::make_unique<OpenSslVerifier>(key);
}
