#include <cstdlib>

#include "support/system_proxy_setting.h"

ScopedSystemProxy::ScopedSystemProxy(const std::string& hostAndPort, const std::string&,
                                     const std::string&) {
  if (const char* value = std::getenv("http_proxy")) previous_ = value;
  setenv("http_proxy", ("http://" + hostAndPort).c_str(), 1);
}

ScopedSystemProxy::~ScopedSystemProxy() {
  if (previous_) {
    setenv("http_proxy", previous_->c_str(), 1);
  } else {
    unsetenv("http_proxy");
  }
}
