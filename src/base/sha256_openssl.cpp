#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "base/sha256.h"

namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)>;

std::optional<std::string> FinishHex(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context, digest, &length) != 1) return std::nullopt;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 0xF]);
  }
  return hex;
}

DigestContext NewSha256Context() {
  DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  if (context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) context.reset();
  return context;
}

}  // namespace

std::optional<std::string> Sha256Hex(std::string_view bytes) {
  DigestContext context = NewSha256Context();
  if (!context || EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1) {
    return std::nullopt;
  }
  return FinishHex(context.get());
}

std::optional<std::string> Sha256HexOfFile(const std::filesystem::path& file) {
  std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!in) return std::nullopt;
  DigestContext context = NewSha256Context();
  if (!context) return std::nullopt;
  std::vector<unsigned char> block(1 << 20);
  for (;;) {
    const size_t got = std::fread(block.data(), 1, block.size(), in.get());
    if (got > 0 && EVP_DigestUpdate(context.get(), block.data(), got) != 1) return std::nullopt;
    if (got < block.size()) break;
  }
  if (std::ferror(in.get())) return std::nullopt;
  return FinishHex(context.get());
}
