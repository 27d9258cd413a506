#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// Runs tests/support/fault_http_server.py on 127.0.0.1 for the lifetime of the object (see the
// script's header for its options). The server logs every request it reads, so tests can check
// what reached it. On Linux the object starts the script itself; the Windows tests, under Wine,
// ask tests/support/fault_server_broker.py, which CTest starts before them, to start it.
class FaultHttpServer {
 public:
  // `options` are the script's command-line options; --log is added.
  explicit FaultHttpServer(std::vector<std::string> options);
  ~FaultHttpServer();

  FaultHttpServer(const FaultHttpServer&) = delete;
  FaultHttpServer& operator=(const FaultHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + `target`.
  std::string Url(const std::string& target) const;
  // The requests read so far, oldest first: {"method","target","headers"}.
  std::vector<nlohmann::json> Requests() const;
  // The body bytes sent in the answers to the requests read so far, once each answer ended
  // (waiting at most 5 s for those still going out).
  uint64_t BodyBytesSent() const;

  // The script's location (from VLM_TEST_SOURCE_DIR, or the source tree this was built from).
  static std::filesystem::path ScriptPath();

 private:
  intptr_t handle_ = -1;  // the server's process id on Linux, the broker connection on Windows
  int port_ = 0;
  std::filesystem::path log_;
};
