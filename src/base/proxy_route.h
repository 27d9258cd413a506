#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Which way the program's HTTP requests go. Direct first, always: a proxy is used only when
// the direct connection cannot be made (name not resolved, cannot connect, time-out) and the
// system names a proxy for the URL; from then on that session or job keeps going through it.
// The system's proxy is the platform's own answer for the URL: WinHTTP's (the user's settings,
// automatic detection and the configuration script) on Windows, GIO's resolver (the desktop's
// settings and the `*_proxy` variables) on Linux.
//
// A ProxyRoute makes the decision and words it for the log (one line per decision); the
// clients apply it. It does no I/O of its own besides the lookup, made at most once.

// The system's proxy for one URL.
struct SystemProxy {
  // Linux: a URI libcurl takes ("http://host:port", "socks5h://host:port"). Windows: WinHTTP's
  // proxy list ("host:port" or "http=host:port;https=host:port").
  std::string proxy;
  // Windows: WinHTTP's bypass list, empty for none. Linux: unused (GIO applied it already).
  std::string bypass;
};

// The proxy the system names for `url`, nullopt when it names none (direct) or cannot tell.
// Synchronous; it may take as long as the platform's lookup does (a configuration script is
// fetched and run on Windows).
std::optional<SystemProxy> SystemProxyForUrl(const std::string& url);

// True for the failures that mean the connection could not be made: WinHTTP's 12007, 12029
// and 12002, and the socket errors some WinHTTP implementations pass through in their place.
bool IsConnectionNotMade(uint32_t error);

class ProxyRoute {
 public:
  using Lookup = std::function<std::optional<SystemProxy>(const std::string& url)>;

  explicit ProxyRoute(std::string url, Lookup lookup = SystemProxyForUrl);

  // The proxy in use; nullptr while the requests go direct.
  const SystemProxy* proxy() const { return proxy_ ? &*proxy_ : nullptr; }

  // The log line of the first decision: direct.
  std::string DescribeStart() const;

  // After a request failed with `error` (a WinHTTP or Win32 number): true when it is worth
  // sending again now, through the proxy just chosen. At most once per route; `line` gets the
  // log line of the decision when one was made, and is cleared otherwise.
  bool FallBack(uint32_t error, std::string& line);

  // The log line for a proxy that answered 407: it wants credentials the program has none of.
  std::string DescribeCredentialsWanted() const;

 private:
  std::string url_;
  std::string host_;
  Lookup lookup_;
  bool triedProxy_ = false;
  std::optional<SystemProxy> proxy_;
};
