#pragma once

#include <cstddef>
#include <cstdint>

// The few TCP calls the local test server makes, over the platform's sockets. Sockets are plain
// integers here so that the server itself stays portable. Failures to set up throw
// std::runtime_error; the data calls report what the platform returned.

using LoopbackSocket = intptr_t;
inline constexpr LoopbackSocket kNoSocket = -1;

// A listening socket on 127.0.0.1 at a port the kernel chooses (written to `port`).
LoopbackSocket ListenOnLoopback(uint16_t* port);

// A socket bound to 127.0.0.1 at a kernel-chosen port, not listening (written to `port`).
LoopbackSocket BindLoopback(uint16_t* port);

// True when `socket` becomes readable (or a connection waits) within `milliseconds`.
bool WaitReadable(LoopbackSocket socket, int milliseconds);

// How long a send may wait for a peer that stopped reading: a client that keeps the connection
// open after the first block it wanted (a pooling HTTP client) must not hold the server forever.
inline constexpr int kSendTimeoutSeconds = 5;

// The next connection, or kNoSocket. Its sends give up after kSendTimeoutSeconds.
LoopbackSocket AcceptConnection(LoopbackSocket listener);

// Bytes received or sent; 0 or less when the peer has gone or the call failed. Sending never
// raises a signal when the peer has gone.
long ReceiveSome(LoopbackSocket socket, char* buffer, size_t size);
long SendSome(LoopbackSocket socket, const char* data, size_t size);

void CloseSocket(LoopbackSocket socket);
