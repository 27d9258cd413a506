#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diag/loopback_socket.h"

// A one-connection-at-a-time HTTP/1.1 server on 127.0.0.1 (port chosen by the kernel) that
// records every request it receives in full. It answers each with a fixed body (200, or a
// redirect), or reads the request and then never answers (holding the connection until it is
// destroyed).
class LocalHttpServer {
 public:
  // kRedirect answers 307 (which keeps the method and body) pointing at kRedirectTarget, with
  // the fixed body.
  enum class Mode { kAnswer, kNeverAnswer, kRedirect };
  static constexpr char kRedirectTarget[] = "/moved";

  struct Request {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;  // names lower-cased
    std::vector<std::string> headerNames;        // as sent, in order
    std::string body;
  };

  explicit LocalHttpServer(Mode mode, std::string responseBody = "1");
  ~LocalHttpServer();
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  uint16_t port() const { return port_; }
  std::string Url(const std::string& path) const;
  int connections() const { return connections_.load(); }
  std::vector<Request> Requests() const;

 private:
  void Serve();
  void Handle(LoopbackSocket client);

  Mode mode_;
  std::string responseBody_;
  LoopbackSocket listener_ = kNoSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

// A 127.0.0.1 port on which nothing listens (bound, then released).
uint16_t UnusedLocalPort();
