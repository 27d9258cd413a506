#include "net/request_url.h"

#include "base/ascii.h"
#include "base/hresult.h"
#include "base/page_results.h"
#include "base/utf_convert.h"

namespace {

bool IsSchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

}  // namespace

uint32_t CheckDownloadUrl(std::string_view url) {
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    // None belongs in a request line; a backslash is how UNC names and DOS paths begin.
    if (byte <= 0x20 || byte == 0x7F || c == '\\') return page_result::kHttpInvalidUrl;
  }
  const size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return page_result::kHttpInvalidUrl;
  const std::string_view scheme = url.substr(0, colon);
  for (const char c : scheme) {
    if (!IsSchemeCharacter(c)) return page_result::kHttpInvalidUrl;
  }
  if (!EqualsIgnoringAsciiCase(scheme, "http") && !EqualsIgnoringAsciiCase(scheme, "https")) {
    return page_result::kHttpUnrecognizedScheme;
  }
  const std::string_view rest = url.substr(colon + 1);
  if (rest.substr(0, 2) != "//") return page_result::kHttpInvalidUrl;
  const std::string_view authority = rest.substr(2, rest.substr(2).find_first_of("/?#"));
  const size_t at = authority.rfind('@');
  const std::string_view hostAndPort =
      at == std::string_view::npos ? authority : authority.substr(at + 1);
  if (hostAndPort.empty() || hostAndPort.front() == ':') return page_result::kHttpInvalidUrl;
  return 0;
}

std::u16string EscapeNonAscii(std::u16string_view url) {
  constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string escaped;
  escaped.reserve(url.size());
  for (size_t i = 0; i < url.size();) {
    if (url[i] < 0x80) {
      escaped.push_back(url[i++]);
      continue;
    }
    // One character: a surrogate pair is converted whole.
    size_t end = i + 1;
    if (url[i] >= 0xD800 && url[i] < 0xDC00 && end < url.size() && url[end] >= 0xDC00 &&
        url[end] < 0xE000) {
      ++end;
    }
    for (const char byte : Utf16ToUtf8(url.substr(i, end - i))) {
      const auto value = static_cast<unsigned char>(byte);
      escaped.push_back(u'%');
      escaped.push_back(kHex[value >> 4]);
      escaped.push_back(kHex[value & 0xF]);
    }
    i = end;
  }
  return escaped;
}
