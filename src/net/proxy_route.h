#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Which way the program's HTTP requests go, decided once for every client (net/
// http_session.h, the platform's transfer service). Direct first, always; when the direct
// connection cannot be made (name not resolved, cannot connect, time-out), the proxy the system
// names for the URL for this user (WinHTTP's answer from the user's settings, automatic
// detection and the configuration script on Windows; GIO's resolver, the desktop's settings and
// the `*_proxy` variables, on Linux); when that names none or cannot be reached either, the
// machine-wide default proxy (MachineProxyForUrl). From then on the session or job keeps going
// the way chosen. A proxy that answers 407 ends the sequence: the program has no credentials to
// offer, and no other route would be the user's intent.
//
// A ProxyRoute makes the decisions and words them for the log (one line per decision); the
// clients apply them. It does no I/O of its own besides the lookups, each made at most once.

// A proxy for one URL.
struct SystemProxy {
  // Linux: a URI libcurl takes ("http://host:port", "socks5h://host:port"). Windows: WinHTTP's
  // proxy list ("host:port" or "http=host:port;https=host:port").
  std::string proxy;
  // Windows: WinHTTP's bypass list, empty for none. Linux: unused (the lookup applied it already).
  std::string bypass;

  friend bool operator==(const SystemProxy&, const SystemProxy&) = default;
};

// The proxy the system names for `url` for this user, nullopt when it names none (direct) or
// cannot tell. Synchronous; it may take as long as the platform's lookup does (a configuration
// script is fetched and run on Windows).
std::optional<SystemProxy> SystemProxyForUrl(const std::string& url);

// The machine-wide default proxy for `url`, the same for every user of the machine: on Windows
// WinHTTP's default proxy setting (WinHttpGetDefaultProxyConfiguration, as `netsh winhttp set
// proxy` writes it); on Linux the `https_proxy`/`http_proxy`/`all_proxy` and `no_proxy` lines of
// /etc/environment, which every session on the machine starts with. nullopt when none is set or
// the URL's host is excepted.
std::optional<SystemProxy> MachineProxyForUrl(const std::string& url);

// What MachineProxyForUrl reads on Linux, from the text of an environment file (`NAME=value`
// lines, values optionally quoted, `#` comments): the variable for the URL's scheme, else
// `all_proxy`, unless `no_proxy` names the URL's host (a suffix match on a dot, or `*`).
// Portable, so that its rules are tested apart from the file.
std::optional<SystemProxy> ProxyFromEnvironmentText(const std::string& text,
                                                    const std::string& url);

class ProxyRoute {
 public:
  using Lookup = std::function<std::optional<SystemProxy>(const std::string& url)>;

  explicit ProxyRoute(std::string url, Lookup user = SystemProxyForUrl,
                      Lookup machine = MachineProxyForUrl);

  // The proxy in use; nullptr while the requests go direct.
  const SystemProxy* proxy() const { return proxy_ ? &*proxy_ : nullptr; }

  // The log line of the first decision: direct.
  std::string DescribeStart() const;

  // After a request on the current route failed with `error` (a WinHTTP or Win32 number): true
  // when it is worth sending again now, through the proxy just chosen (the user's, else the
  // machine's default one; one other than the one that just failed). `line` gets the log line
  // of the decision when one was made, and is cleared otherwise. Once the machine's default was
  // asked, the route stays as it is.
  bool FallBack(uint32_t error, std::string& line);

  // The log line for a proxy that answered 407: it wants credentials the program has none of.
  std::string DescribeCredentialsWanted() const;

  // Takes over another route's decision for the same server (the extra connections of one
  // download follow the first's), so that the failed direct attempts are not paid again.
  void Adopt(const ProxyRoute& decided);

 private:
  enum class Stage { kDirect, kUsers, kMachines };

  std::string url_;
  std::string host_;
  Lookup user_;
  Lookup machine_;
  Stage stage_ = Stage::kDirect;
  std::optional<SystemProxy> proxy_;
};
