#include "support/fault_http_server.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

std::filesystem::path FaultHttpServer::ScriptPath() {
  if (const char* dir = std::getenv("VLM_TEST_SOURCE_DIR"); dir != nullptr && *dir != '\0') {
    return std::filesystem::path(dir) / "tests" / "support" / "fault_http_server.py";
  }
  return std::filesystem::path(VLM_SOURCE_DIR) / "tests" / "support" / "fault_http_server.py";
}

std::string FaultHttpServer::Url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<nlohmann::json> FaultHttpServer::Requests() const {
  std::vector<nlohmann::json> requests;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    nlohmann::json entry = nlohmann::json::parse(line);
    if (entry.contains("method")) requests.push_back(std::move(entry));
  }
  return requests;
}

uint64_t FaultHttpServer::BodyBytesSent() const {
  // The server logs an answer's bytes once it ended, which may be a moment after the client
  // has them all.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (;;) {
    uint64_t sent = 0;
    size_t answers = 0, requests = 0;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) continue;
      const nlohmann::json entry = nlohmann::json::parse(line);
      if (entry.contains("sent")) {
        sent += entry["sent"].get<uint64_t>();
        ++answers;
      } else {
        ++requests;
      }
    }
    if (answers >= requests || std::chrono::steady_clock::now() > deadline) return sent;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
