#pragma once

#include <optional>
#include <string>

// Names `hostAndPort` as the system's proxy for http URLs, as the platform's lookup
// (net/proxy_route.h) reads it, for the lifetime of the object; the previous setting comes
// back afterwards. Linux: this process's `http_proxy` (GIO's resolver reads it). Windows: the
// user's proxy settings in the registry, the value WinHttpGetIEProxyConfigForCurrentUser reads,
// shared by every process of the Wine prefix: objects of different processes wait for each
// other (a named mutex). The hosts of `bypass` (Windows' list; ignored on Linux) stay direct.
// Windows only: a `scriptUrl` names a configuration script besides (WinHTTP fetches and runs it
// to learn the proxy for each URL); `hostAndPort` may then be empty.
class ScopedSystemProxy {
 public:
  explicit ScopedSystemProxy(const std::string& hostAndPort, const std::string& bypass = "",
                             const std::string& scriptUrl = "");
  ~ScopedSystemProxy();
  ScopedSystemProxy(const ScopedSystemProxy&) = delete;
  ScopedSystemProxy& operator=(const ScopedSystemProxy&) = delete;

 private:
  std::optional<std::string> previous_;
  void* lock_ = nullptr;  // Windows: the mutex held while the setting is in place
};
