#include "diag/local_http_server.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr int kPollMilliseconds = 50;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

LocalHttpServer::LocalHttpServer(Mode mode, std::string responseBody)
    : mode_(mode), responseBody_(std::move(responseBody)) {
  listener_ = ListenOnLoopback(&port_);
  thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
  stop_ = true;
  thread_.join();
  CloseSocket(listener_);
}

std::string LocalHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LocalHttpServer::Request> LocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LocalHttpServer::Serve() {
  while (!stop_) {
    if (!WaitReadable(listener_, kPollMilliseconds)) continue;
    const LoopbackSocket client = AcceptConnection(listener_);
    if (client == kNoSocket) continue;
    ++connections_;
    Handle(client);
    CloseSocket(client);
  }
}

void LocalHttpServer::Handle(LoopbackSocket client) {
  std::string data;
  size_t headerEnd = std::string::npos;
  size_t contentLength = 0;
  Request request;
  char buffer[4096];
  while (!stop_) {
    if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) break;
    if (!WaitReadable(client, kPollMilliseconds)) continue;
    const long n = ReceiveSome(client, buffer, sizeof buffer);
    if (n <= 0) return;  // the client gave up before the request was complete
    data.append(buffer, static_cast<size_t>(n));
    if (headerEnd == std::string::npos &&
        (headerEnd = data.find("\r\n\r\n")) != std::string::npos) {
      size_t lineEnd = data.find("\r\n");
      const std::string requestLine = data.substr(0, lineEnd);
      const size_t space1 = requestLine.find(' ');
      const size_t space2 = requestLine.find(' ', space1 + 1);
      request.method = requestLine.substr(0, space1);
      request.target = requestLine.substr(space1 + 1, space2 - space1 - 1);
      while (lineEnd < headerEnd) {
        const size_t next = data.find("\r\n", lineEnd + 2);
        const std::string line = data.substr(lineEnd + 2, next - lineEnd - 2);
        const size_t colon = line.find(':');
        const std::string name = line.substr(0, colon);
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headerNames.push_back(name);
        request.headers[Lower(name)] = value;
        lineEnd = next;
      }
      if (request.headers.count("content-length") != 0) {
        contentLength = std::stoul(request.headers["content-length"]);
      }
    }
  }
  if (stop_) return;
  request.body = data.substr(headerEnd + 4, contentLength);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  if (mode_ == Mode::kNeverAnswer) {
    // Hold the connection open, unanswered, until the client leaves or the server stops.
    while (!stop_) {
      if (WaitReadable(client, kPollMilliseconds) &&
          ReceiveSome(client, buffer, sizeof buffer) <= 0) {
        return;
      }
    }
    return;
  }
  const std::string status = mode_ == Mode::kRedirect ? "307 Temporary Redirect\r\nLocation: " +
                                                            std::string(kRedirectTarget)
                                                      : "200 OK";
  const std::string response =
      "HTTP/1.1 " + status +
      "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(responseBody_.size()) +
      "\r\nConnection: close\r\n\r\n" + responseBody_;
  size_t offset = 0;
  while (offset < response.size()) {
    const long n = SendSome(client, response.data() + offset, response.size() - offset);
    if (n <= 0) return;  // the client stopped reading (it wants the first block only)
    offset += static_cast<size_t>(n);
  }
}

uint16_t UnusedLocalPort() {
  uint16_t port = 0;
  CloseSocket(BindLoopback(&port));
  return port;
}
