#include "base/hex_string.h"

std::string ToHexString(uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char buffer[8];
  int length = 0;
  do {
    buffer[length++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::string text = "0x";
  while (length > 0) text.push_back(buffer[--length]);
  return text;
}
