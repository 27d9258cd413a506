// The system's proxy on Linux: GIO's default resolver, which reads the desktop's settings and
// the `*_proxy` variables (through glib-networking's modules).
#include <gio/gio.h>

#include <string_view>

#include "net/proxy_route.h"

namespace {

// The proxy URI as libcurl takes it; empty for a kind it cannot use. GIO's SOCKS proxies
// resolve names at the proxy, which is what a network without direct name resolution needs.
std::string AsCurlProxy(std::string_view uri) {
  const size_t colon = uri.find("://");
  if (colon == std::string_view::npos) return {};
  const std::string_view scheme = uri.substr(0, colon);
  const std::string_view rest = uri.substr(colon);
  if (scheme == "http" || scheme == "https" || scheme == "socks4a" || scheme == "socks5h") {
    return std::string(uri);
  }
  if (scheme == "socks" || scheme == "socks5") return "socks5h" + std::string(rest);
  if (scheme == "socks4") return "socks4a" + std::string(rest);
  return {};
}

}  // namespace

std::optional<SystemProxy> SystemProxyForUrl(const std::string& url) {
  GProxyResolver* resolver = g_proxy_resolver_get_default();  // not owned
  if (resolver == nullptr) return std::nullopt;
  GError* error = nullptr;
  gchar** proxies = g_proxy_resolver_lookup(resolver, url.c_str(), nullptr, &error);
  if (proxies == nullptr) {
    g_clear_error(&error);
    return std::nullopt;
  }
  std::optional<SystemProxy> found;
  // The resolver's order is its preference; "direct://" there means no proxy.
  for (gchar** entry = proxies; *entry != nullptr && !found; ++entry) {
    const std::string_view uri(*entry);
    if (uri == "direct://") break;
    if (std::string proxy = AsCurlProxy(uri); !proxy.empty()) found = SystemProxy{proxy, {}};
  }
  g_strfreev(proxies);
  return found;
}
