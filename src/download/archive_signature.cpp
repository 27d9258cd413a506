#include "download/archive_signature.h"

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

SignatureVerdict VerifyFileSignature(std::span<const uint8_t> publicKey,
                                     const std::filesystem::path& file,
                                     std::span<const uint8_t> derSignature) {
  const std::optional<std::array<uint8_t, 64>> raw = EcdsaDerToRaw(derSignature);
  if (!raw) return SignatureVerdict::kInvalid;
  std::unique_ptr<EcdsaP256Verifier> verifier = EcdsaP256Verifier::Create(publicKey);
  if (!verifier) return SignatureVerdict::kInvalid;
  std::ifstream in(file, std::ios::binary);
  if (!in) return SignatureVerdict::kUnreadable;
  std::vector<char> block(size_t{1} << 20);
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto count = static_cast<size_t>(in.gcount());
    if (count > 0 && !verifier->Update(reinterpret_cast<const uint8_t*>(block.data()), count)) {
      return SignatureVerdict::kInvalid;
    }
  }
  if (!in.eof()) return SignatureVerdict::kUnreadable;
  return verifier->Verify(derSignature, *raw) ? SignatureVerdict::kValid
                                              : SignatureVerdict::kInvalid;
}
