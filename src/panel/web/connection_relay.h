#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "remote/tcp_socket.h"

namespace tavlin {

// Between the network and the HTTP library: each connection of a page is
// accepted here and passed on, byte for byte, to the library's own socket,
// which nobody else can reach. It bounds what the library does not: the
// bytes one connection may send (the library would keep an endless stream
// of header lines in memory), the connections open at once, and how long a
// page may leave what it was sent unread. Nothing is read or changed in the
// bytes; one thread polls every connection.
class ConnectionRelay {
  public:
    static constexpr std::size_t kMostConnections = 64;
    static constexpr std::size_t kBufferBytes = 64 * 1024;

    ConnectionRelay(std::size_t inboundBudget, std::chrono::milliseconds stallLimit);
    ~ConnectionRelay();
    ConnectionRelay(const ConnectionRelay&) = delete;
    ConnectionRelay& operator=(const ConnectionRelay&) = delete;

    // Listens on the address and port (0: a free one) and relays to the
    // local socket `inner`. False, with the reason, when it cannot listen.
    bool Start(const std::string& address, int port, std::filesystem::path inner,
               std::string& error);
    int Port() const { return port_; }
    void Stop();

  private:
    struct Connection;

    void Run();
    void Accept();
    // False when the connection is over.
    bool Pump(Connection& c, short clientEvents, short innerEvents);
    bool ReadInto(int fd, std::string& buffer, bool& ended) const;
    bool WriteFrom(int fd, std::string& buffer) const;

    const std::size_t inboundBudget_;
    const std::chrono::milliseconds stallLimit_;
    std::filesystem::path inner_;
    TcpSocket listener_;
    int port_ = -1;
    std::atomic<bool> running_{false};
    std::thread thread_;
    std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace tavlin
