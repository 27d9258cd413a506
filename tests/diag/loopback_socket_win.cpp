#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "diag/loopback_socket.h"

namespace {

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) throw std::runtime_error("WSAStartup failed");
}

SOCKET Native(LoopbackSocket socket) {
  return static_cast<SOCKET>(socket);
}

int Chunk(size_t size) {
  return static_cast<int>(std::min<size_t>(size, INT_MAX));
}

}  // namespace

LoopbackSocket BindLoopback(uint16_t* port) {
  StartWinsock();
  // Not inherited: a child process the tests start must not keep the port open.
  const SOCKET s =
      WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    throw std::runtime_error("bind failed");
  }
  *port = ntohs(address.sin_port);
  return static_cast<LoopbackSocket>(s);
}

LoopbackSocket ListenOnLoopback(uint16_t* port) {
  const LoopbackSocket s = BindLoopback(port);
  if (listen(Native(s), 16) != 0) {
    closesocket(Native(s));
    throw std::runtime_error("listen failed");
  }
  return s;
}

bool WaitReadable(LoopbackSocket socket, int milliseconds) {
  WSAPOLLFD p{Native(socket), POLLRDNORM, 0};
  return WSAPoll(&p, 1, milliseconds) > 0;
}

LoopbackSocket AcceptConnection(LoopbackSocket listener) {
  const SOCKET client = accept(Native(listener), nullptr, nullptr);
  if (client == INVALID_SOCKET) return kNoSocket;
  const DWORD sendLimitMs = kSendTimeoutSeconds * 1000;
  setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendLimitMs),
             sizeof sendLimitMs);
  return static_cast<LoopbackSocket>(client);
}

long ReceiveSome(LoopbackSocket socket, char* buffer, size_t size) {
  return recv(Native(socket), buffer, Chunk(size), 0);
}

long SendSome(LoopbackSocket socket, const char* data, size_t size) {
  return send(Native(socket), data, Chunk(size), 0);
}

void CloseSocket(LoopbackSocket socket) {
  closesocket(Native(socket));
}
