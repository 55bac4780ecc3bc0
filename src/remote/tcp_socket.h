#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// A socket descriptor that closes itself.
class TcpSocket {
  public:
    TcpSocket() = default;
    explicit TcpSocket(int fd) : fd_(fd) {}
    ~TcpSocket() { Close(); }
    TcpSocket(TcpSocket&& other) noexcept : fd_(other.Release()) {}
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    int Fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    void Close();
    int Release();

  private:
    int fd_ = -1;
};

// What a wait for a socket gives.
enum class SocketWait { Ready, TimedOut, Failed };

// The servers' socket operations. Every wait is a poll() of at most
// kPollMs, so a thread that waits in one sees its stop flag at least that
// often; nothing here blocks for longer.
namespace tcp {

constexpr int kPollMs = 50;

// A numeric IPv4 or IPv6 address ("127.0.0.1", "::1", "0.0.0.0").
bool IsIpAddress(std::string_view address);
// 127.0.0.0/8 and ::1 (also as ::ffff:127.x.y.z): only this machine can reach it.
bool IsLoopbackAddress(std::string_view address);

// A listening socket bound to the address and port (0: any free port),
// with a backlog of 5; nothing, with `error` naming the port and the
// reason, when it cannot be had.
std::optional<TcpSocket> Listen(const std::string& address, int port, std::string& error);
// The port a socket is bound to.
int BoundPort(const TcpSocket& socket);
// The address and port of a connection's other end: "127.0.0.1:50312",
// "[::1]:50312"; "?" when the system cannot tell.
std::string PeerName(const TcpSocket& socket);

// Keep-alive probes on a connection that has been quiet for a minute: a
// peer whose machine vanished without closing is found gone within about
// two minutes, instead of never.
void ProbeIdlePeer(const TcpSocket& socket);
// Acknowledges what has just been read at once rather than after the
// stack's delay: a client that writes a command and then a query in two
// small writes holds the query back until the command is acknowledged, and
// a command has no reply to carry the acknowledgement. Linux forgets it, so
// it is asked for again after every read.
void AcknowledgeAtOnce(const TcpSocket& socket);

// Waits until the socket can be read (or accepted from).
SocketWait WaitReadable(const TcpSocket& socket, int timeoutMs = kPollMs);

// A connection waiting on the listening socket, or an empty socket when
// none was ready.
TcpSocket Accept(const TcpSocket& listener);
// Waits for a connection for as long as `running` stays true.
std::optional<TcpSocket> AcceptWhile(const TcpSocket& listener, const std::atomic<bool>& running);

}  // namespace tcp

}  // namespace tavlin
