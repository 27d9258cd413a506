#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string_view>

#include "download/archive_signature.h"

namespace {

// EVP's digest-and-verify: SHA-256 streamed, then ECDSA over the digest. OpenSSL takes the DER
// signature itself; the raw form is only for platforms that want it.
class OpenSslVerifier final : public EcdsaP256Verifier {
 public:
  OpenSslVerifier(EVP_PKEY* key, EVP_MD_CTX* context) : key_(key), context_(context) {}
  ~OpenSslVerifier() override {
    EVP_MD_CTX_free(context_);
    EVP_PKEY_free(key_);
  }
  OpenSslVerifier(const OpenSslVerifier&) = delete;
  OpenSslVerifier& operator=(const OpenSslVerifier&) = delete;

  bool Update(const uint8_t* data, size_t length) override {
    return EVP_DigestVerifyUpdate(context_, data, length) == 1;
  }
  bool Verify(std::span<const uint8_t> der, const std::array<uint8_t, 64>&) override {
    return EVP_DigestVerifyFinal(context_, der.data(), der.size()) == 1;
  }

 private:
  EVP_PKEY* key_;
  EVP_MD_CTX* context_;
};

}  // namespace

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
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr ||
      EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) != 1) {
    EVP_MD_CTX_free(context);
    EVP_PKEY_free(key);
    return nullptr;
  }
  return std::make_unique<OpenSslVerifier>(key, context);
}
