#include "../../loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace brenvik::testing {

SocketHandle listenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return kNoSocket;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return fd;
}

SocketHandle acceptWithTimeout(SocketHandle listener, int timeoutMs) {
    pollfd waiting{static_cast<int>(listener), POLLIN, 0};
    if (::poll(&waiting, 1, timeoutMs) <= 0) {
        return kNoSocket;
    }
    const int fd = ::accept(static_cast<int>(listener), nullptr, nullptr);
    return fd < 0 ? kNoSocket : fd;
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t size) {
    return static_cast<long>(::recv(static_cast<int>(socket), buffer, size, 0));
}

bool sendAll(SocketHandle socket, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void closeSocket(SocketHandle socket) {
    if (socket != kNoSocket) {
        ::close(static_cast<int>(socket));
    }
}

}  // namespace brenvik::testing
