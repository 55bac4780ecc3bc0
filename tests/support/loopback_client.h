#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "support/eventually.h"

namespace tavlin::test {

// A TCP client on 127.0.0.1 for the servers' tests. Reads wait at most a
// few seconds, so a server that fails to answer fails the test instead of
// hanging it.
class LoopbackClient {
  public:
    explicit LoopbackClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~LoopbackClient() { Close(); }
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool Connected() const { return connected_; }
    int Fd() const { return fd_; }
    void Send(const std::string& text) const {
        ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // Reads until `lineEnds` line feeds have arrived (or the time is up).
    std::string ReadLines(int lineEnds, int timeoutMs = 5000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string text;
        while (std::ranges::count(text, '\n') < lineEnds &&
               std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            char buffer[65536];
            if (::poll(&p, 1, 20) == 1) {
                const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                text.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return text;
    }
    void Close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

}  // namespace tavlin::test
