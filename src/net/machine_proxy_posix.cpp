// The machine-wide default proxy on Linux: what /etc/environment gives every session.
#include <fstream>
#include <sstream>

#include "net/proxy_route.h"

std::optional<SystemProxy> MachineProxyForUrl(const std::string& url) {
  std::ifstream file("/etc/environment", std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream text;
  text << file.rdbuf();
  return ProxyFromEnvironmentText(text.str(), url);
}
