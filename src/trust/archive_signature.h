#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/hresult.h"
#include "base/page_results.h"

// Verification of what the vendor signed: ECDSA with SHA-256 on the P-256 curve, against a
// public key built into the program (trust/built_in_trust.h). The signed bytes are an
// archive (a bare-archive signature) or a small text that names what it vouches for (a release
// manifest, trust/release_manifest.h; the UI folder's manifest, app/ui_manifest.h).
// Portable here: the base64 and DER handling, the signed-text layout and the streaming of a
// file; the arithmetic is the platform's (OpenSSL's EVP on Linux, CNG on Windows) behind
// Sha256Stream and EcdsaP256Verifier.

// The codes a failed verification is reported with (the page sees their low 16 bits).
namespace trust_code {
inline constexpr HResult kNoSignature = static_cast<HResult>(0x800B0100u);   // TRUST_E_NOSIGNATURE
inline constexpr HResult kBadSignature = static_cast<HResult>(0x80096010u);  // TRUST_E_BAD_DIGEST
// A signed release older than the lowest version the page accepts.
inline constexpr HResult kOlderRelease = static_cast<HResult>(0x800B0101u);  // CERT_E_EXPIRED
// A signature of another product, or one that names no release where the page names one.
inline constexpr HResult kOtherRelease = static_cast<HResult>(0x800B0110u);  // CERT_E_WRONG_USAGE
}  // namespace trust_code
// The page receives their low words.
static_assert(LowWord(trust_code::kNoSignature) == page_result::kNoSignature);
static_assert(LowWord(trust_code::kBadSignature) == page_result::kBadSignature);
static_assert(LowWord(trust_code::kOlderRelease) == page_result::kOlderRelease);
static_assert(LowWord(trust_code::kOtherRelease) == page_result::kOtherRelease);

// The largest signature text a signature_url may answer with; a DER P-256 signature is at most
// 72 bytes and a release manifest a few hundred, so anything near this is neither.
inline constexpr uint64_t kMaxSignatureFileBytes = 4096;

using Sha256Digest = std::array<uint8_t, 32>;

enum class SignatureVerdict {
  kValid,
  kInvalid,     // the signature, the key or the bytes do not match (or the key is unusable)
  kUnreadable,  // the file could not be read to its end
};

// Reads `file` in 1 MiB blocks (memory stays flat whatever its size) and checks the DER
// signature over its bytes against `publicKey`, a DER SubjectPublicKeyInfo of a P-256 key. A
// signature that is not strict DER (see EcdsaDerToRaw) is invalid on every platform alike.
SignatureVerdict VerifyFileSignature(std::span<const uint8_t> publicKey,
                                     const std::filesystem::path& file,
                                     std::span<const uint8_t> derSignature);

// The same check for bytes whose SHA-256 is `digest`, and for bytes in memory.
SignatureVerdict VerifyDigestSignature(std::span<const uint8_t> publicKey,
                                       const Sha256Digest& digest,
                                       std::span<const uint8_t> derSignature);
SignatureVerdict VerifyBytesSignature(std::span<const uint8_t> publicKey, std::string_view bytes,
                                      std::span<const uint8_t> derSignature);

// The SHA-256 of a file read in 1 MiB blocks; nullopt when it cannot be read to its end.
std::optional<Sha256Digest> FileSha256(const std::filesystem::path& file);
// The SHA-256 of `bytes`; nullopt only when the platform fails.
std::optional<Sha256Digest> BytesSha256(std::string_view bytes);

// A text the vendor signed, as every signed manifest of this program is laid out: its lines,
// each ending in "\n", then one last line "signature: <base64 DER>" whose signature covers every
// byte before it. `signedPart` is those bytes; nullopt when the text has no such last line or its
// signature is not base64. White space after the base64 is allowed (files end in a line break).
struct SignedText {
  std::string_view signedPart;
  std::vector<uint8_t> der;
};
std::optional<SignedText> SplitSignedText(std::string_view text);

// Standard base64 (RFC 4648 alphabet, "=" padding); ASCII white space anywhere is skipped, as
// signature files end with a line break and tools wrap long lines. nullopt for anything else.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

// 64 hexadecimal digits (either case) as a digest; nullopt for anything else.
std::optional<Sha256Digest> DigestFromHex(std::string_view hex);

// The DER form of an ECDSA signature (SEQUENCE of two INTEGERs) as the raw 64 bytes r || s,
// each big-endian and left-padded to 32 bytes, which is what CNG takes. nullopt unless the DER
// is strict: definite short lengths, minimal positive integers of at most 32 value bytes, and
// nothing after the sequence.
std::optional<std::array<uint8_t, 64>> EcdsaDerToRaw(std::span<const uint8_t> der);

// SHA-256 on the platform's cryptography, fed in pieces.
class Sha256Stream {
 public:
  // Null when the platform offers no SHA-256.
  static std::unique_ptr<Sha256Stream> Create();
  virtual ~Sha256Stream() = default;
  virtual bool Update(const uint8_t* data, size_t length) = 0;
  // Once, after the last Update.
  virtual std::optional<Sha256Digest> Finish() = 0;
};

// The platform's ECDSA P-256 check of a signature over a SHA-256 digest.
class EcdsaP256Verifier {
 public:
  // Null when the platform refuses the key (not a P-256 public key).
  static std::unique_ptr<EcdsaP256Verifier> Create(std::span<const uint8_t> publicKey);
  virtual ~EcdsaP256Verifier() = default;
  // `der` is the signature as given; `raw` the same after EcdsaDerToRaw.
  virtual bool Verify(const Sha256Digest& digest, std::span<const uint8_t> der,
                      const std::array<uint8_t, 64>& raw) = 0;
};
