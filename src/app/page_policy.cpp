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
