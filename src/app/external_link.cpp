#include "app/external_link.h"

#include <algorithm>

#include "app/local_address.h"
#include "base/ascii.h"

namespace {

// Characters a serialised URL never carries unescaped; anything holding them did not come from
// the web view's own URL parser.
bool IsUrlCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte <= 0x20 || byte >= 0x7F) return false;
  return std::string_view("\"<>\\`").find(c) == std::string_view::npos;
}

bool IsDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The text after "scheme://" when `url` starts with http:// or https://.
bool RemoveWebScheme(std::string_view& url) {
  for (const std::string_view scheme :
       {std::string_view("http://"), std::string_view("https://")}) {
    if (url.size() >= scheme.size() &&
        EqualsIgnoringAsciiCase(url.substr(0, scheme.size()), scheme)) {
      url.remove_prefix(scheme.size());
      return true;
    }
  }
  return false;
}

bool IsThisMachine(std::string_view host) {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);  // "localhost." is the same
  constexpr std::string_view kLocal = "localhost";
  if (EqualsIgnoringAsciiCase(host, kLocal)) return true;
  return host.size() > kLocal.size() + 1 &&
         EqualsIgnoringAsciiCase(host.substr(host.size() - kLocal.size() - 1), ".localhost");
}

// Splits "host[:port]" (host possibly "[ipv6]") and checks both parts.
bool IsAcceptableAuthority(std::string_view authority) {
  if (authority.find('@') != std::string_view::npos) return false;
  std::string_view host = authority;
  std::string_view rest;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos || close == 1) return false;
    host = authority.substr(0, close + 1);
    rest = authority.substr(close + 1);
  } else {
    const size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
  }
  if (host.empty() || IsThisMachine(host) || IsLocalNetworkAddress(host)) return false;
  if (rest.empty()) return true;
  return rest.front() == ':' && rest.size() <= 6 && IsDigits(rest.substr(1));
}

}  // namespace

bool MayOpenInBrowser(std::string_view url, bool userInitiated) {
  if (!userInitiated) return false;
  if (!std::all_of(url.begin(), url.end(), IsUrlCharacter)) return false;
  std::string_view rest = url;
  if (!RemoveWebScheme(rest)) return false;
  return IsAcceptableAuthority(rest.substr(0, rest.find_first_of("/?#")));
}
