#include "app/page_policy.h"

#include "app/external_link.h"
#include "base/ascii.h"

namespace {

// Schemes whose URLs always carry a path once serialised ("https://h" becomes "https://h/").
bool HasAlwaysAPath(std::string_view scheme) {
  return EqualsIgnoringAsciiCase(scheme, "http") || EqualsIgnoringAsciiCase(scheme, "https");
}

}  // namespace

bool IsDocumentOfOrigin(std::string_view url, std::string_view scheme, std::string_view host) {
  if (scheme.empty() || host.empty()) return false;
  if (url.size() < scheme.size() + 3 + host.size()) return false;
  if (!EqualsIgnoringAsciiCase(url.substr(0, scheme.size()), scheme)) return false;
  url.remove_prefix(scheme.size());
  if (url.substr(0, 3) != "://") return false;
  url.remove_prefix(3);
  if (!EqualsIgnoringAsciiCase(url.substr(0, host.size()), host)) return false;
  url.remove_prefix(host.size());
  // Whatever follows the host must end the authority: a port, user information or a longer
  // host name would put another character here.
  if (url.empty()) return !HasAlwaysAPath(scheme);
  if (url.front() == '/') return true;
  return (url.front() == '?' || url.front() == '#') && !HasAlwaysAPath(scheme);
}

PagePolicy::PagePolicy(std::string_view scheme, std::string_view host)
    : scheme_(scheme), host_(host) {}

bool PagePolicy::IsUiDocument(std::string_view url) const {
  return IsDocumentOfOrigin(url, scheme_, host_);
}

bool PagePolicy::MayNavigate(std::string_view url) const {
  return url == "about:blank" || url == "about:srcdoc" || IsUiDocument(url);
}

PagePolicy::NewWindow PagePolicy::DecideNewWindow(std::string_view url, bool userInitiated,
                                                  std::string_view shownPage) const {
  if (IsUiDocument(shownPage) && MayOpenInBrowser(url, userInitiated)) {
    return NewWindow::kOpenInBrowser;
  }
  return NewWindow::kRefuse;
}

bool PagePolicy::MayDeliverMessage(std::string_view source) const {
  return IsUiDocument(source);
}

namespace {

// `text` with each %XX escape decoded; malformed escapes stay as they are.
std::string DecodeEscapes(std::string_view text) {
  const auto hex = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2])));
      i += 2;
    } else {
      decoded.push_back(text[i]);
    }
  }
  return decoded;
}

}  // namespace

std::string WindowTitleFor(std::string_view runtimeTitle, std::string_view url) {
  if (runtimeTitle.empty() || url.empty()) return std::string(runtimeTitle);
  const size_t scheme = url.find("://");
  const std::string_view afterScheme =
      scheme == std::string_view::npos ? url : url.substr(scheme + 3);
  for (std::string_view form : {url, afterScheme}) {
    for (const std::string& spelling : {std::string(form), DecodeEscapes(form)}) {
      std::string_view candidate = spelling;
      if (runtimeTitle == candidate) return "";
      // A bare host's slash: "https://host/" shows as "host".
      if (candidate.ends_with('/') && candidate.find('/') == candidate.size() - 1 &&
          runtimeTitle == candidate.substr(0, candidate.size() - 1)) {
        return "";
      }
    }
  }
  return std::string(runtimeTitle);
}
