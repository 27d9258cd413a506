#include "base/proxy_route.h"

#include <string_view>

#include "base/page_results.h"

namespace {

// The URL's host (and port) for the log: never its path or query, which may hold a signature.
std::string HostOf(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  url = url.substr(0, url.find_first_of("/?#"));
  const size_t at = url.rfind('@');
  if (at != std::string_view::npos) url.remove_prefix(at + 1);
  return std::string(url);
}

}  // namespace

bool IsConnectionNotMade(uint32_t error) {
  switch (error) {
    case page_result::kHttpTimeout:
    case page_result::kHttpNameNotResolved:
    case page_result::kHttpCannotConnect:
    case 10060:  // WSAETIMEDOUT
    case 10061:  // WSAECONNREFUSED
    case 11001:  // WSAHOST_NOT_FOUND
      return true;
    default:
      return false;
  }
}

ProxyRoute::ProxyRoute(std::string url, Lookup lookup)
    : url_(std::move(url)), host_(HostOf(url_)), lookup_(std::move(lookup)) {}

std::string ProxyRoute::DescribeStart() const {
  return "Route to " + host_ + ": direct";
}

bool ProxyRoute::FallBack(uint32_t error, std::string& line) {
  line.clear();
  if (triedProxy_ || !IsConnectionNotMade(error)) return false;
  triedProxy_ = true;
  const std::string failed =
      "Route to " + host_ + ": the direct connection failed (" + std::to_string(error) + "); ";
  proxy_ = lookup_ ? lookup_(url_) : std::nullopt;
  if (!proxy_) {
    line = failed + "the system names no proxy for it";
    return false;
  }
  line = failed + "through the proxy " + proxy_->proxy;
  return true;
}

std::string ProxyRoute::DescribeCredentialsWanted() const {
  return "Route to " + host_ + ": the proxy " + (proxy_ ? proxy_->proxy : std::string("?")) +
         " asks for credentials (HTTP 407)";
}
