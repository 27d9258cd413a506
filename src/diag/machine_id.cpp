#include "diag/machine_id.h"

#include "base/sha256.h"

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
  return Sha256Hex(guid).value_or(std::string());
}
