// windows.h first: wincrypt.h uses its types.
#include <windows.h>

#include <wincrypt.h>

#include <algorithm>
#include <vector>

#include "base/sha256.h"

namespace {

// One CryptoAPI SHA-256 hash. The AES provider type is the one that offers SHA-256: the
// default RSA_FULL provider refuses CALG_SHA_256.
class CryptoApiSha256 {
 public:
  CryptoApiSha256() {
    if (!CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
      provider_ = 0;
      return;
    }
    if (!CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) hash_ = 0;
  }
  ~CryptoApiSha256() {
    if (hash_ != 0) CryptDestroyHash(hash_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  CryptoApiSha256(const CryptoApiSha256&) = delete;
  CryptoApiSha256& operator=(const CryptoApiSha256&) = delete;

  bool ok() const { return hash_ != 0; }

  bool Update(const void* data, size_t length) {
    const auto* bytes = static_cast<const BYTE*>(data);
    while (length > 0) {  // CryptHashData takes a 32-bit length
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
      if (!CryptHashData(hash_, bytes, chunk, 0)) return false;
      bytes += chunk;
      length -= chunk;
    }
    return true;
  }

  std::optional<std::string> FinishHex() {
    BYTE digest[32];
    DWORD length = sizeof(digest);
    if (!CryptGetHashParam(hash_, HP_HASHVAL, digest, &length, 0) || length != sizeof(digest)) {
      return std::nullopt;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const BYTE b : digest) {
      hex.push_back(kDigits[b >> 4]);
      hex.push_back(kDigits[b & 0xF]);
    }
    return hex;
  }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace

std::optional<std::string> Sha256Hex(std::string_view bytes) {
  CryptoApiSha256 hash;
  if (!hash.ok() || !hash.Update(bytes.data(), bytes.size())) return std::nullopt;
  return hash.FinishHex();
}

std::optional<std::string> Sha256HexOfFile(const std::filesystem::path& file) {
  const HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) return std::nullopt;
  CryptoApiSha256 hash;
  std::optional<std::string> hex;
  if (hash.ok()) {
    std::vector<char> block(1 << 20);
    bool failed = false;
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(in, block.data(), static_cast<DWORD>(block.size()), &got, nullptr)) {
        failed = true;
        break;
      }
      if (got == 0) break;
      if (!hash.Update(block.data(), got)) {
        failed = true;
        break;
      }
    }
    if (!failed) hex = hash.FinishHex();
  }
  CloseHandle(in);
  return hex;
}
