#include "net/content_range.h"

#include <cctype>
#include <charconv>

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<uint64_t> ContentRangeFirstByte(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  constexpr std::string_view kUnit = "bytes ";
  if (!StartsWithNoCase(value, kUnit)) return std::nullopt;
  value.remove_prefix(kUnit.size());
  uint64_t first = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), first);
  if (error != std::errc() || end == value.data() || end == value.data() + value.size() ||
      *end != '-') {
    return std::nullopt;
  }
  return first;
}

std::optional<uint64_t> ContentRangeTotal(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  constexpr std::string_view kUnit = "bytes ";
  const size_t slash = value.rfind('/');
  if (!StartsWithNoCase(value, kUnit) || slash == std::string_view::npos) return std::nullopt;
  const std::string_view digits = value.substr(slash + 1);
  uint64_t total = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), total);
  if (error != std::errc() || end == digits.data() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return total;
}
