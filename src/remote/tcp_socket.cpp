#include "remote/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tavlin {

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

void TcpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

int TcpSocket::Release() {
    return std::exchange(fd_, -1);
}

namespace tcp {

namespace {

constexpr int kBacklog = 5;

std::optional<in_addr> Ipv4(std::string_view address) {
    in_addr v4{};
    if (inet_pton(AF_INET, std::string(address).c_str(), &v4) == 1) {
        return v4;
    }
    return std::nullopt;
}

std::optional<in6_addr> Ipv6(std::string_view address) {
    in6_addr v6{};
    if (inet_pton(AF_INET6, std::string(address).c_str(), &v6) == 1) {
        return v6;
    }
    return std::nullopt;
}

bool IsLoopbackV4(const in_addr& v4) {
    return (ntohl(v4.s_addr) >> 24) == 127;
}

SocketWait Wait(const TcpSocket& socket, short events, int timeoutMs) {
    pollfd p{socket.Fd(), events, 0};
    const int n = ::poll(&p, 1, timeoutMs);
    if (n == 0 || (n < 0 && errno == EINTR)) {
        return SocketWait::TimedOut;
    }
    if (n < 0 || (p.revents & POLLNVAL) != 0) {
        return SocketWait::Failed;
    }
    // A hang-up or error still counts as ready: the read or write that
    // follows reports it.
    return SocketWait::Ready;
}

std::string Describe(const std::string& address, int port, const char* reason) {
    return "Cannot listen on " + address + " port " + std::to_string(port) + ": " + reason;
}

}  // namespace

bool IsIpAddress(std::string_view address) {
    return Ipv4(address) || Ipv6(address);
}

bool IsLoopbackAddress(std::string_view address) {
    if (const auto v4 = Ipv4(address)) {
        return IsLoopbackV4(*v4);
    }
    if (const auto v6 = Ipv6(address)) {
        if (IN6_IS_ADDR_LOOPBACK(&*v6)) {
            return true;
        }
        if (IN6_IS_ADDR_V4MAPPED(&*v6)) {
            in_addr v4{};
            std::memcpy(&v4, &v6->s6_addr[12], sizeof v4);
            return IsLoopbackV4(v4);
        }
    }
    return false;
}

std::optional<TcpSocket> Listen(const std::string& address, int port, std::string& error) {
    if (port < 0 || port > 65535) {
        error = Describe(address, port, "no such port");
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
        found == nullptr) {
        error = Describe(address, port, "not an IPv4 or IPv6 address");
        return std::nullopt;
    }
    TcpSocket socket(
        ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    // A port whose last connection is still closing (TIME_WAIT) can be
    // listened on again at once; one that another socket listens on cannot.
    const int on = 1;
    const bool ok = socket.IsOpen() &&
                    ::setsockopt(socket.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
                    ::bind(socket.Fd(), found->ai_addr, found->ai_addrlen) == 0 &&
                    ::listen(socket.Fd(), kBacklog) == 0;
    const int reason = errno;
    freeaddrinfo(found);
    if (!ok) {
        error = Describe(address, port, std::strerror(reason));
        return std::nullopt;
    }
    return socket;
}

int BoundPort(const TcpSocket& socket) {
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(socket.Fd(), reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        return -1;
    }
    if (bound.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
}

std::string PeerName(const TcpSocket& socket) {
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    char host[INET6_ADDRSTRLEN] = {};
    if (::getpeername(socket.Fd(), reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
        return "?";
    }
    if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
        return "[" + std::string(host) + "]:" + std::to_string(ntohs(v6->sin6_port));
    }
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
    inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(v4->sin_port));
}

void ProbeIdlePeer(const TcpSocket& socket) {
    const int on = 1;
    const int idleSeconds = 60;
    const int intervalSeconds = 10;
    const int probes = 6;
    ::setsockopt(socket.Fd(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(socket.Fd(), IPPROTO_TCP, TCP_KEEPIDLE, &idleSeconds, sizeof idleSeconds);
    ::setsockopt(socket.Fd(), IPPROTO_TCP, TCP_KEEPINTVL, &intervalSeconds, sizeof intervalSeconds);
    ::setsockopt(socket.Fd(), IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

void AcknowledgeAtOnce(const TcpSocket& socket) {
    const int on = 1;
    ::setsockopt(socket.Fd(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

SocketWait WaitReadable(const TcpSocket& socket, int timeoutMs) {
    return Wait(socket, POLLIN, timeoutMs);
}

// The listening socket does not block: a client that gave up between the
// poll and the accept leaves nothing to accept, which is no reason to wait.
TcpSocket Accept(const TcpSocket& listener) {
    return TcpSocket(::accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
}

std::optional<TcpSocket> AcceptWhile(const TcpSocket& listener, const std::atomic<bool>& running) {
    while (running.load()) {
        const SocketWait wait = WaitReadable(listener);
        if (wait == SocketWait::Failed) {
            return std::nullopt;
        }
        if (wait == SocketWait::Ready) {
            if (TcpSocket connection = Accept(listener); connection.IsOpen()) {
                return connection;
            }
        }
    }
    return std::nullopt;
}

}  // namespace tcp

}  // namespace tavlin
