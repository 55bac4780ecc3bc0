#include "panel/web/connection_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace tavlin {

struct ConnectionRelay::Connection {
    TcpSocket client;
    TcpSocket inner;
    std::string toInner;
    std::string toClient;
    std::size_t inbound = 0;
    bool clientEnded = false;
    bool innerEnded = false;
    bool innerShut = false;
    std::chrono::steady_clock::time_point lastOutput;
};

namespace {

void SetNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// A full queue at the library refuses at once rather than holding the
// relay's one thread.
TcpSocket ConnectInner(const std::filesystem::path& path) {
    TcpSocket inner(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (!inner.IsOpen() ||
        ::connect(inner.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return TcpSocket();
    }
    return inner;
}

short Wanted(bool read, bool write) {
    return static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0));
}

}  // namespace

ConnectionRelay::ConnectionRelay(std::size_t inboundBudget, std::chrono::milliseconds stallLimit)
    : inboundBudget_(inboundBudget), stallLimit_(stallLimit) {}

ConnectionRelay::~ConnectionRelay() {
    Stop();
}

bool ConnectionRelay::Start(const std::string& address, int port, std::filesystem::path inner,
                            std::string& error) {
    std::optional<TcpSocket> listener = tcp::Listen(address, port, error);
    if (!listener) {
        return false;
    }
    listener_ = std::move(*listener);
    port_ = tcp::BoundPort(listener_);
    inner_ = std::move(inner);
    running_ = true;
    thread_ = std::thread([this] { Run(); });
    return true;
}

void ConnectionRelay::Stop() {
    running_ = false;
    if (thread_.joinable()) {
        thread_.join();
    }
    connections_.clear();
    listener_.Close();
}

void ConnectionRelay::Run() {
    std::vector<pollfd> polled;
    while (running_.load()) {
        polled.clear();
        polled.push_back(
            {listener_.Fd(), Wanted(connections_.size() < kMostConnections, false), 0});
        for (const auto& c : connections_) {
            polled.push_back(
                {c->client.Fd(),
                 Wanted(!c->clientEnded && c->toInner.size() < kBufferBytes, !c->toClient.empty()),
                 0});
            polled.push_back(
                {c->inner.Fd(),
                 Wanted(!c->innerEnded && c->toClient.size() < kBufferBytes, !c->toInner.empty()),
                 0});
        }
        if (::poll(polled.data(), polled.size(), tcp::kPollMs) < 0 && errno != EINTR) {
            return;
        }
        // Pumped before the new connections join, so the indexes still match.
        for (std::size_t i = connections_.size(); i-- > 0;) {
            if (!Pump(*connections_[i], polled[1 + 2 * i].revents, polled[2 + 2 * i].revents)) {
                connections_.erase(connections_.begin() + static_cast<long>(i));
            }
        }
        if (polled[0].revents & POLLIN) {
            Accept();
        }
    }
}

void ConnectionRelay::Accept() {
    TcpSocket client = tcp::Accept(listener_);
    if (!client.IsOpen()) {
        return;
    }
    TcpSocket inner = ConnectInner(inner_);
    if (!inner.IsOpen()) {
        return;  // the library is full: the page is closed and tries again
    }
    SetNonBlocking(client.Fd());
    auto c = std::make_unique<Connection>();
    c->client = std::move(client);
    c->inner = std::move(inner);
    connections_.push_back(std::move(c));
}

bool ConnectionRelay::ReadInto(int fd, std::string& buffer, bool& ended) const {
    char chunk[kBufferBytes];
    const std::size_t room = kBufferBytes - std::min(buffer.size(), kBufferBytes);
    const ssize_t n = ::recv(fd, chunk, std::min(room, sizeof chunk), 0);
    if (n > 0) {
        buffer.append(chunk, static_cast<std::size_t>(n));
    } else if (n == 0) {
        ended = true;
    }
    return n >= 0 || errno == EAGAIN || errno == EINTR;
}

bool ConnectionRelay::WriteFrom(int fd, std::string& buffer) const {
    const ssize_t n = ::send(fd, buffer.data(), buffer.size(), MSG_NOSIGNAL);
    if (n > 0) {
        buffer.erase(0, static_cast<std::size_t>(n));
    }
    return n >= 0 || errno == EAGAIN || errno == EINTR;
}

bool ConnectionRelay::Pump(Connection& c, short clientEvents, short innerEvents) {
    const auto now = std::chrono::steady_clock::now();
    const bool hadOutput = !c.toClient.empty();
    const std::size_t before = c.toInner.size();
    bool ok = true;
    if (clientEvents & (POLLIN | POLLHUP | POLLERR)) {
        ok = ok && ReadInto(c.client.Fd(), c.toInner, c.clientEnded);
        c.inbound += c.toInner.size() - before;
    }
    if (innerEvents & (POLLIN | POLLHUP | POLLERR)) {
        ok = ok && ReadInto(c.inner.Fd(), c.toClient, c.innerEnded);
    }
    if (innerEvents & POLLOUT) {
        ok = ok && WriteFrom(c.inner.Fd(), c.toInner);
    }
    const std::size_t pending = c.toClient.size();
    if (clientEvents & POLLOUT) {
        ok = ok && WriteFrom(c.client.Fd(), c.toClient);
    }
    if (!hadOutput || c.toClient.size() < pending) {
        c.lastOutput = now;
    }
    // The page has said all it will: the library hears the end of it.
    if (c.clientEnded && c.toInner.empty() && !c.innerShut) {
        ::shutdown(c.inner.Fd(), SHUT_WR);
        c.innerShut = true;
    }
    const bool finished = c.innerEnded && c.toClient.empty();
    const bool overBudget = c.inbound > inboundBudget_;
    const bool stalled = !c.toClient.empty() && now - c.lastOutput > stallLimit_;
    return ok && !finished && !overBudget && !stalled;
}

}  // namespace tavlin
