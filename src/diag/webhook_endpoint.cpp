#include "diag/webhook_endpoint.h"

#include <charconv>

std::optional<WebhookEndpoint> ParseWebhookUrl(std::string_view url) {
  WebhookEndpoint endpoint;
  if (url.empty()) {
    endpoint.host.clear();
    return endpoint;
  }
  const size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos) return std::nullopt;
  endpoint.scheme = std::string(url.substr(0, schemeEnd));
  if (endpoint.scheme == "https") {
    endpoint.port = 443;
  } else if (endpoint.scheme == "http") {
    endpoint.port = 80;
  } else {
    return std::nullopt;
  }
  std::string_view rest = url.substr(schemeEnd + 3);
  const size_t pathStart = rest.find('/');
  std::string_view authority = rest.substr(0, pathStart);
  endpoint.path = pathStart == std::string_view::npos ? "/" : std::string(rest.substr(pathStart));

  std::string_view portText;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    endpoint.host = std::string(authority.substr(1, close - 1));
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      portText = after.substr(1);
    }
  } else {
    const size_t colon = authority.find(':');
    endpoint.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    if (endpoint.host.find('@') != std::string::npos) return std::nullopt;  // no credentials
  }
  if (endpoint.host.empty()) return std::nullopt;
  if (!portText.empty() || authority.ends_with(':')) {
    unsigned int port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || port == 0 ||
        port > 65535) {
      return std::nullopt;
    }
    endpoint.port = static_cast<uint16_t>(port);
  }
  for (char c : endpoint.host + endpoint.path) {
    // Control characters and spaces would corrupt the request line.
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return std::nullopt;
  }
  return endpoint;
}

std::string WebhookUrl(const WebhookEndpoint& endpoint) {
  const bool bracket = endpoint.host.find(':') != std::string::npos;
  return endpoint.scheme + "://" + (bracket ? "[" + endpoint.host + "]" : endpoint.host) + ":" +
         std::to_string(endpoint.port) + endpoint.path;
}
