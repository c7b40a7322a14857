#pragma once
// Minimal blocking TCP on 127.0.0.1 for the tests' own HTTP server; one
// implementation per platform.

#include <cstddef>
#include <cstdint>

namespace brenvik::testing {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// Listens on 127.0.0.1 on a free port, which is stored in `port`.
SocketHandle listenOnLoopback(std::uint16_t& port);
// Waits up to `timeoutMs` for a connection; kNoSocket when none came.
SocketHandle acceptWithTimeout(SocketHandle listener, int timeoutMs);
// Bytes read (0 at end of stream, negative on error).
long receiveSome(SocketHandle socket, char* buffer, std::size_t size);
bool sendAll(SocketHandle socket, const char* data, std::size_t size);
void closeSocket(SocketHandle socket);

}  // namespace brenvik::testing
