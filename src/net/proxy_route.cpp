#include "net/proxy_route.h"

#include <string_view>

#include "net/failure_kind.h"

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// The URL's host (and port) for the log: never its path or query, which may hold a signature.
std::string HostOf(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  url = url.substr(0, url.find_first_of("/?#"));
  const size_t at = url.rfind('@');
  if (at != std::string_view::npos) url.remove_prefix(at + 1);
  return std::string(url);
}

// The host alone, lower-cased, without port or IPv6 brackets.
std::string HostNameOf(std::string_view url) {
  std::string host = HostOf(url);
  if (!host.empty() && host.front() == '[') {
    host = host.substr(1, host.find(']') - 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  for (char& c : host) c = Lower(c);
  return host;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Whether a `no_proxy` list names `host`: "*", the host itself, or a domain it ends in.
bool IsExcepted(std::string_view list, const std::string& host) {
  while (!list.empty()) {
    const size_t comma = list.find(',');
    std::string entry(Trim(list.substr(0, comma)));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    for (char& c : entry) c = Lower(c);
    if (!entry.empty() && entry.front() == '.') entry.erase(0, 1);
    if (entry.empty()) continue;
    if (entry == "*" || entry == host) return true;
    if (host.size() > entry.size() &&
        host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
        host[host.size() - entry.size() - 1] == '.') {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<SystemProxy> ProxyFromEnvironmentText(const std::string& text,
                                                    const std::string& url) {
  std::string scheme = url.substr(0, url.find("://"));
  for (char& c : scheme) c = Lower(c);
  std::string forScheme;
  std::string all;
  std::string excepted;
  std::string_view rest(text);
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    std::string_view line = Trim(rest.substr(0, end));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.rfind("export ", 0) == 0) line = Trim(line.substr(7));
    const size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
    std::string name(Trim(line.substr(0, equals)));
    for (char& c : name) c = Lower(c);
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (name == scheme + "_proxy") forScheme = value;
    if (name == "all_proxy") all = value;
    if (name == "no_proxy") excepted = value;
  }
  std::string proxy = !forScheme.empty() ? forScheme : all;
  if (proxy.empty() || IsExcepted(excepted, HostNameOf(url))) return std::nullopt;
  // A bare "host:port" means an HTTP proxy, as libcurl reads it too.
  return SystemProxy{std::move(proxy), {}};
}

ProxyRoute::ProxyRoute(std::string url, Lookup user, Lookup machine)
    : url_(std::move(url)),
      host_(HostOf(url_)),
      user_(std::move(user)),
      machine_(std::move(machine)) {}

std::string ProxyRoute::DescribeStart() const {
  return "Route to " + host_ + ": direct";
}

bool ProxyRoute::FallBack(uint32_t error, std::string& line) {
  line.clear();
  if (stage_ == Stage::kMachines || !IsConnectionNotMade(error)) return false;
  if (stage_ == Stage::kDirect) {
    stage_ = Stage::kUsers;
    const std::string failed =
        "Route to " + host_ + ": the direct connection failed (" + std::to_string(error) + "); ";
    proxy_ = user_ ? user_(url_) : std::nullopt;
    if (proxy_) {
      line = failed + "through the proxy " + proxy_->proxy;
      return true;
    }
    stage_ = Stage::kMachines;
    proxy_ = machine_ ? machine_(url_) : std::nullopt;
    line = failed + (proxy_ ? "through the machine's default proxy " + proxy_->proxy
                            : std::string("the system names no proxy for it"));
    return proxy_.has_value();
  }
  // The user's proxy could not be reached: the machine's default, when it is another one.
  stage_ = Stage::kMachines;
  std::optional<SystemProxy> machine = machine_ ? machine_(url_) : std::nullopt;
  if (!machine || machine == proxy_) return false;
  line = "Route to " + host_ + ": the proxy " + proxy_->proxy + " could not be reached (" +
         std::to_string(error) + "); through the machine's default proxy " + machine->proxy;
  proxy_ = std::move(machine);
  return true;
}

std::string ProxyRoute::DescribeCredentialsWanted() const {
  return "Route to " + host_ + ": the proxy " + (proxy_ ? proxy_->proxy : std::string("?")) +
         " asks for credentials (HTTP 407)";
}

void ProxyRoute::Adopt(const ProxyRoute& decided) {
  stage_ = decided.stage_;
  proxy_ = decided.proxy_;
}
