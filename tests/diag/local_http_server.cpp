#include "diag/local_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace {

int BindLoopback(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  *port = ntohs(address.sin_port);
  return fd;
}

// Waits up to 50 ms for `fd` to become readable.
bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, 50) > 0;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

LocalHttpServer::LocalHttpServer(Mode mode, std::string responseBody)
    : mode_(mode), responseBody_(std::move(responseBody)) {
  listener_ = BindLoopback(&port_);
  if (listen(listener_, 16) != 0) throw std::runtime_error("listen failed");
  thread_ = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
  stop_ = true;
  thread_.join();
  close(listener_);
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
    if (!Readable(listener_)) continue;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    Handle(client);
    close(client);
  }
}

void LocalHttpServer::Handle(int client) {
  std::string data;
  size_t headerEnd = std::string::npos;
  size_t contentLength = 0;
  Request request;
  char buffer[4096];
  while (!stop_) {
    if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) break;
    if (!Readable(client)) continue;
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
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
      if (Readable(client) && recv(client, buffer, sizeof buffer, 0) <= 0) return;
    }
    return;
  }
  const std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                               std::to_string(responseBody_.size()) +
                               "\r\nConnection: close\r\n\r\n" + responseBody_;
  size_t offset = 0;
  while (offset < response.size()) {
    const ssize_t n =
        send(client, response.data() + offset, response.size() - offset, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client stopped reading (it wants the first block only)
    offset += static_cast<size_t>(n);
  }
}

uint16_t UnusedLocalPort() {
  uint16_t port = 0;
  close(BindLoopback(&port));
  return port;
}
