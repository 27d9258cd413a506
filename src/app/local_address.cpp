#include "app/local_address.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

// One dot-separated part as a URL parser reads it: "0x" or "0X" then hexadecimal, a leading
// "0" then octal, else decimal. Values too large for 32 bits are refused.
std::optional<uint64_t> ParseIpv4Part(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned base = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
  } else if (part.size() >= 2 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  uint64_t value = 0;
  for (const char c : part) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return value;  // "0x" alone is zero, as the parser takes it
}

// The address of an IPv4 literal in any of its spellings, or nullopt for a name.
std::optional<uint32_t> ParseIpv4(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t dot = host.find('.', start);
    parts.push_back(host.substr(start, dot == std::string_view::npos ? dot : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (parts.size() > 4) return std::nullopt;
  std::vector<uint64_t> values;
  for (const std::string_view part : parts) {
    const std::optional<uint64_t> value = ParseIpv4Part(part);
    if (!value) return std::nullopt;
    values.push_back(*value);
  }
  uint64_t address = 0;
  for (size_t i = 0; i + 1 < values.size(); ++i) {
    if (values[i] > 255) return std::nullopt;
    address = (address << 8) | values[i];
  }
  // The last part fills the bytes the others left.
  const unsigned lastBytes = static_cast<unsigned>(5 - values.size());
  if (lastBytes < 4 && values.back() >= (uint64_t{1} << (8 * lastBytes))) return std::nullopt;
  address = (address << (8 * lastBytes)) | values.back();
  return static_cast<uint32_t>(address);
}

bool IsLocalIpv4(uint32_t address) {
  const auto in = [address](uint32_t network, int prefix) {
    const uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    return (address & mask) == network;
  };
  return in(0x00000000, 8) || in(0x0A000000, 8) || in(0x64400000, 10) || in(0x7F000000, 8) ||
         in(0xA9FE0000, 16) || in(0xAC100000, 12) || in(0xC0A80000, 16);
}

bool HexDigit(char c, unsigned& value) {
  if (c >= '0' && c <= '9') {
    value = static_cast<unsigned>(c - '0');
  } else if (c >= 'a' && c <= 'f') {
    value = static_cast<unsigned>(c - 'a' + 10);
  } else if (c >= 'A' && c <= 'F') {
    value = static_cast<unsigned>(c - 'A' + 10);
  } else {
    return false;
  }
  return true;
}

// The sixteen bytes of an IPv6 literal (without brackets), or nullopt when it is not one. An
// embedded dotted IPv4 tail must be plain decimal, as in URLs.
std::optional<std::array<uint8_t, 16>> ParseIpv6(std::string_view text) {
  std::array<uint16_t, 8> groups{};
  int count = 0;
  int gap = -1;  // the group index where "::" stands
  size_t i = 0;
  if (text.substr(0, 2) == "::") {
    gap = 0;
    i = 2;
  } else if (!text.empty() && text[0] == ':') {
    return std::nullopt;
  }
  while (i < text.size()) {
    if (count == 8) return std::nullopt;
    const size_t end = text.find(':', i);
    const std::string_view piece = text.substr(i, end == std::string_view::npos ? end : end - i);
    if (piece.find('.') != std::string_view::npos) {
      // A dotted IPv4 tail fills the last two groups.
      if (end != std::string_view::npos || count > 6) return std::nullopt;
      std::array<unsigned, 4> bytes{};
      size_t at = 0;
      for (unsigned& byte : bytes) {
        const size_t next = piece.find('.', at);
        const std::string_view digits =
            piece.substr(at, next == std::string_view::npos ? next : next - at);
        if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) {
          return std::nullopt;
        }
        byte = 0;
        for (const char c : digits) {
          if (c < '0' || c > '9') return std::nullopt;
          byte = byte * 10 + static_cast<unsigned>(c - '0');
        }
        if (byte > 255) return std::nullopt;
        if (&byte != &bytes.back() && next == std::string_view::npos) return std::nullopt;
        at = next == std::string_view::npos ? piece.size() : next + 1;
      }
      if (at != piece.size()) return std::nullopt;
      groups[count++] = static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
      groups[count++] = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
      i = text.size();
      break;
    }
    if (piece.empty() || piece.size() > 4) return std::nullopt;
    unsigned value = 0;
    for (const char c : piece) {
      unsigned digit = 0;
      if (!HexDigit(c, digit)) return std::nullopt;
      value = value * 16 + digit;
    }
    groups[count++] = static_cast<uint16_t>(value);
    if (end == std::string_view::npos) {
      i = text.size();
    } else if (end + 1 < text.size() && text[end + 1] == ':') {
      if (gap >= 0) return std::nullopt;
      gap = count;
      i = end + 2;
    } else {
      if (end + 1 == text.size()) return std::nullopt;  // a trailing single colon
      i = end + 1;
    }
  }
  if (gap < 0 ? count != 8 : count == 8) return std::nullopt;
  std::array<uint16_t, 8> full{};
  const int tail = gap < 0 ? 0 : count - gap;
  for (int g = 0; g < count - tail; ++g) full[g] = groups[g];
  for (int g = 0; g < tail; ++g) full[8 - tail + g] = groups[count - tail + g];
  std::array<uint8_t, 16> bytes{};
  for (int g = 0; g < 8; ++g) {
    bytes[2 * g] = static_cast<uint8_t>(full[g] >> 8);
    bytes[2 * g + 1] = static_cast<uint8_t>(full[g]);
  }
  return bytes;
}

bool IsLocalIpv6(const std::array<uint8_t, 16>& b) {
  bool firstTenZero = true;
  for (int i = 0; i < 10; ++i) firstTenZero = firstTenZero && b[i] == 0;
  const uint32_t last4 =
      uint32_t{b[12]} << 24 | uint32_t{b[13]} << 16 | uint32_t{b[14]} << 8 | b[15];
  // ::/96 (":: and ::1 among them, and the old IPv4-compatible form) and ::ffff:0:0/96.
  if (firstTenZero && b[10] == 0 && b[11] == 0) return last4 <= 1 || IsLocalIpv4(last4);
  if (firstTenZero && b[10] == 0xFF && b[11] == 0xFF) return IsLocalIpv4(last4);
  if (b[0] == 0xFE && (b[1] & 0xC0) == 0x80) return true;  // fe80::/10, link-local
  if (b[0] == 0xFE && (b[1] & 0xC0) == 0xC0) return true;  // fec0::/10, the old site-local
  return (b[0] & 0xFE) == 0xFC;                            // fc00::/7, unique local
}

}  // namespace

bool IsLocalNetworkAddress(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    std::string_view inner = host.substr(1, host.size() - 2);
    // A zone ("%25eth0") is not allowed in URLs; refusing its host is the safe reading.
    if (inner.find('%') != std::string_view::npos) return true;
    const std::optional<std::array<uint8_t, 16>> address = ParseIpv6(inner);
    return address && IsLocalIpv6(*address);
  }
  const std::optional<uint32_t> address = ParseIpv4(host);
  return address && IsLocalIpv4(*address);
}
