#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <stdexcept>

#include "diag/loopback_socket.h"

LoopbackSocket BindLoopback(uint16_t* port) {
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

LoopbackSocket ListenOnLoopback(uint16_t* port) {
  const LoopbackSocket fd = BindLoopback(port);
  if (listen(static_cast<int>(fd), 16) != 0) {
    close(static_cast<int>(fd));
    throw std::runtime_error("listen failed");
  }
  return fd;
}

bool WaitReadable(LoopbackSocket socket, int milliseconds) {
  pollfd p{static_cast<int>(socket), POLLIN, 0};
  return poll(&p, 1, milliseconds) > 0;
}

LoopbackSocket AcceptConnection(LoopbackSocket listener) {
  const int client = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return kNoSocket;
  const timeval sendLimit{kSendTimeoutSeconds, 0};
  setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  return client;
}

long ReceiveSome(LoopbackSocket socket, char* buffer, size_t size) {
  return static_cast<long>(recv(static_cast<int>(socket), buffer, size, 0));
}

long SendSome(LoopbackSocket socket, const char* data, size_t size) {
  return static_cast<long>(send(static_cast<int>(socket), data, size, MSG_NOSIGNAL));
}

void CloseSocket(LoopbackSocket socket) {
  close(static_cast<int>(socket));
}
