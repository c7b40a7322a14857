#include "../../loopback_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace brenvik::testing {
namespace {

bool startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace

SocketHandle listenOnLoopback(std::uint16_t& port) {
    if (!startWinsock()) {
        return kNoSocket;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return kNoSocket;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return static_cast<SocketHandle>(s);
}

SocketHandle acceptWithTimeout(SocketHandle listener, int timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(listener), &readable);
    timeval wait{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) {
        return kNoSocket;
    }
    const SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
    return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t size) {
    return ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
}

bool sendAll(SocketHandle socket, const char* data, std::size_t size) {
    while (size > 0) {
        const int sent = ::send(static_cast<SOCKET>(socket), data, static_cast<int>(size), 0);
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
        ::closesocket(static_cast<SOCKET>(socket));
    }
}

}  // namespace brenvik::testing
