#include "diag/machine_id.h"

#include "diag/sha256.h"

std::string NormalizeMachineGuid(std::string_view raw) {
  std::string text;
  text.reserve(raw.size());
  for (char c : raw) {
    switch (c) {
      case ' ':
      case '\t':
      case '\n':
      case '\v':
      case '\f':
      case '\r':
        continue;
      default:
        text += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
  }
  return text;
}

std::string MachineIdFromGuid(std::string_view guid) {
  if (guid.empty()) return {};
  const auto digest = Sha256(guid);
  if (!digest) return {};
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(digest->size() * 2);
  for (uint8_t byte : *digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}
