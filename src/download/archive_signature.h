#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "download/hresult.h"

// Verification of an archive's signature: ECDSA over the archive's bytes with SHA-256, on the
// P-256 curve, against a public key built into the program (download/built_in_trust.h).
// Portable here: the base64 and DER handling and the streaming of the file; the arithmetic is
// the platform's (OpenSSL's EVP on Linux, CNG on Windows) behind EcdsaP256Verifier.

// The codes a failed verification is reported with (the page sees their low 16 bits).
namespace trust_code {
inline constexpr HResult kNoSignature = static_cast<HResult>(0x800B0100u);   // TRUST_E_NOSIGNATURE
inline constexpr HResult kBadSignature = static_cast<HResult>(0x80096010u);  // TRUST_E_BAD_DIGEST
}  // namespace trust_code

// The largest signature text a signature_url may answer with; a DER P-256 signature is at most
// 72 bytes, so anything near this is not one.
inline constexpr uint64_t kMaxSignatureFileBytes = 4096;

enum class SignatureVerdict {
  kValid,
  kInvalid,     // the signature, the key or the bytes do not match (or the key is unusable)
  kUnreadable,  // the file could not be read to its end
};

// Reads `file` in 1 MiB blocks (memory stays flat whatever its size) and checks the DER
// signature against `publicKey`, a DER SubjectPublicKeyInfo of a P-256 key. A signature that is
// not strict DER (see EcdsaDerToRaw) is invalid on every platform alike.
SignatureVerdict VerifyFileSignature(std::span<const uint8_t> publicKey,
                                     const std::filesystem::path& file,
                                     std::span<const uint8_t> derSignature);

// Standard base64 (RFC 4648 alphabet, "=" padding); ASCII white space anywhere is skipped, as
// signature files end with a line break and tools wrap long lines. nullopt for anything else.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

// The DER form of an ECDSA signature (SEQUENCE of two INTEGERs) as the raw 64 bytes r || s,
// each big-endian and left-padded to 32 bytes, which is what CNG takes. nullopt unless the DER
// is strict: definite short lengths, minimal positive integers of at most 32 value bytes, and
// nothing after the sequence.
std::optional<std::array<uint8_t, 64>> EcdsaDerToRaw(std::span<const uint8_t> der);

// One verification on the platform's cryptography: the archive's bytes go in through Update,
// and Verify checks the signature over their SHA-256 digest.
class EcdsaP256Verifier {
 public:
  // Null when the platform refuses the key (not a P-256 public key).
  static std::unique_ptr<EcdsaP256Verifier> Create(std::span<const uint8_t> publicKey);
  virtual ~EcdsaP256Verifier() = default;
  virtual bool Update(const uint8_t* data, size_t length) = 0;
  // `der` is the signature as given; `raw` the same after EcdsaDerToRaw.
  virtual bool Verify(std::span<const uint8_t> der, const std::array<uint8_t, 64>& raw) = 0;
};
