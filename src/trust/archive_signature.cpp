#include "trust/archive_signature.h"

#include <algorithm>
#include <fstream>
#include <string>

namespace {

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// One DER INTEGER at `at`: its value bytes without the sign byte, left-padded into `out`.
bool ReadInteger(std::span<const uint8_t> der, size_t& at, uint8_t* out) {
  if (at + 2 > der.size() || der[at] != 0x02) return false;
  const size_t length = der[at + 1];
  at += 2;
  if (length == 0 || length > 33 || at + length > der.size()) return false;
  std::span<const uint8_t> value = der.subspan(at, length);
  at += length;
  if (value[0] & 0x80) return false;  // negative
  if (value[0] == 0) {
    // Zero is no valid r or s, and a leading zero is allowed only before a set top bit.
    if (length == 1 || !(value[1] & 0x80)) return false;
    value = value.subspan(1);
  }
  if (value.size() > 32) return false;
  std::fill(out, out + 32, uint8_t{0});
  std::copy(value.begin(), value.end(), out + (32 - value.size()));
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!IsAsciiSpace(c)) compact.push_back(c);
  }
  if (compact.empty() || compact.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && compact[compact.size() - 1 - padding] == '=') ++padding;
  std::vector<uint8_t> bytes;
  bytes.reserve(compact.size() / 4 * 3);
  uint32_t buffer = 0;
  int bits = 0;
  for (size_t i = 0; i < compact.size() - padding; ++i) {
    const int value = Base64Value(compact[i]);
    if (value < 0) return std::nullopt;  // also a "=" anywhere but the end
    buffer = (buffer << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<uint8_t>(buffer >> bits));
      buffer &= (1u << bits) - 1;
    }
  }
  return bytes;
}

std::optional<std::array<uint8_t, 64>> EcdsaDerToRaw(std::span<const uint8_t> der) {
  // Two integers of at most 33 bytes each fit a short-form length (at most 70).
  if (der.size() < 8 || der[0] != 0x30 || der[1] != der.size() - 2) return std::nullopt;
  std::array<uint8_t, 64> raw{};
  size_t at = 2;
  if (!ReadInteger(der, at, raw.data()) || !ReadInteger(der, at, raw.data() + 32)) {
    return std::nullopt;
  }
  if (at != der.size()) return std::nullopt;
  return raw;
}

std::optional<Sha256Digest> DigestFromHex(std::string_view hex) {
  if (hex.size() != 64) return std::nullopt;
  Sha256Digest digest{};
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = HexValue(hex[2 * i]);
    const int low = HexValue(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return digest;
}

std::optional<SignedText> SplitSignedText(std::string_view text) {
  constexpr std::string_view kSignatureLine = "signature: ";
  size_t at = 0;
  if (text.substr(0, kSignatureLine.size()) != kSignatureLine) {
    const size_t found = text.rfind(std::string("\n") + std::string(kSignatureLine));
    if (found == std::string_view::npos) return std::nullopt;
    at = found + 1;
  }
  const std::string_view base64 = text.substr(at + kSignatureLine.size());
  // Only white space may follow the base64: a line after it would be unsigned.
  std::optional<std::vector<uint8_t>> der = DecodeBase64(base64);
  if (!der || base64.find('\n') < base64.find_last_not_of(" \t\r\n")) return std::nullopt;
  return SignedText{text.substr(0, at), std::move(*der)};
}

std::optional<Sha256Digest> BytesSha256(std::string_view bytes) {
  std::unique_ptr<Sha256Stream> hash = Sha256Stream::Create();
  if (!hash || !hash->Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {
    return std::nullopt;
  }
  return hash->Finish();
}

std::optional<Sha256Digest> FileSha256(const std::filesystem::path& file) {
  std::unique_ptr<Sha256Stream> hash = Sha256Stream::Create();
  std::ifstream in(file, std::ios::binary);
  if (!hash || !in) return std::nullopt;
  std::vector<char> block(size_t{1} << 20);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto count = static_cast<size_t>(in.gcount());
    if (count > 0 && !hash->Update(reinterpret_cast<const uint8_t*>(block.data()), count)) {
      return std::nullopt;
    }
  }
  if (!in.eof()) return std::nullopt;
  return hash->Finish();
}

SignatureVerdict VerifyDigestSignature(std::span<const uint8_t> publicKey,
                                       const Sha256Digest& digest,
                                       std::span<const uint8_t> derSignature) {
  const std::optional<std::array<uint8_t, 64>> raw = EcdsaDerToRaw(derSignature);
  if (!raw) return SignatureVerdict::kInvalid;
  std::unique_ptr<EcdsaP256Verifier> verifier = EcdsaP256Verifier::Create(publicKey);
  if (!verifier) return SignatureVerdict::kInvalid;
  return verifier->Verify(digest, derSignature, *raw) ? SignatureVerdict::kValid
                                                      : SignatureVerdict::kInvalid;
}

SignatureVerdict VerifyBytesSignature(std::span<const uint8_t> publicKey, std::string_view bytes,
                                      std::span<const uint8_t> derSignature) {
  const std::optional<Sha256Digest> digest = BytesSha256(bytes);
  return digest ? VerifyDigestSignature(publicKey, *digest, derSignature)
                : SignatureVerdict::kInvalid;
}

SignatureVerdict VerifyFileSignature(std::span<const uint8_t> publicKey,
                                     const std::filesystem::path& file,
                                     std::span<const uint8_t> derSignature) {
  // A signature or key that cannot verify anything is refused before the file is read.
  if (!EcdsaDerToRaw(derSignature) || !EcdsaP256Verifier::Create(publicKey)) {
    return SignatureVerdict::kInvalid;
  }
  const std::optional<Sha256Digest> digest = FileSha256(file);
  if (!digest) return SignatureVerdict::kUnreadable;
  return VerifyDigestSignature(publicKey, *digest, derSignature);
}
