#include "remote/tcp_line_service.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "ports/log.h"

namespace tavlin {

namespace {

constexpr std::size_t kReadBufferBytes = 4096;
constexpr std::chrono::milliseconds kStopPoll{1};

bool TryAgain() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

}  // namespace

TcpLineService::TcpLineService() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

TcpLineService::~TcpLineService() {
    Stop();
    ::close(wakeFd_);
}

void TcpLineService::Start(TcpSocket listener, Setup setup) {
    Stop();
    setup_ = std::move(setup);
    port_ = tcp::BoundPort(listener);
    LogInfo(setup_.name, "listening on port " + std::to_string(port_.load()));
    clientsServed_ = 0;
    {
        const std::lock_guard lock(outputMutex_);
        peakOutput_ = 0;
    }
    ClearWake();
    running_ = true;
    serving_ = true;
    finished_ = false;
    thread_ = std::thread(&TcpLineService::ThreadMain, this, std::move(listener));
}

void TcpLineService::RequestStop() {
    running_ = false;
    Wake();
}

void TcpLineService::Stop(const std::function<void()>& whileWaiting) {
    RequestStop();
    while (!finished_.load()) {
        if (whileWaiting) {
            whileWaiting();
        } else {
            std::this_thread::sleep_for(kStopPoll);
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool TcpLineService::Send(std::string_view text) {
    {
        const std::lock_guard lock(outputMutex_);
        if (!hasClient_.load() || output_.size() + text.size() > kLargestPendingOutput) {
            return false;
        }
        if (output_.empty()) {
            lastTaken_ = std::chrono::steady_clock::now();
        }
        output_.append(text);
        peakOutput_ = std::max(peakOutput_, output_.size());
    }
    Wake();
    return true;
}

bool TcpLineService::SendPaced(std::string_view text) {
    if (client_ == nullptr) {
        throw std::logic_error("SendPaced is for the line handler");
    }
    std::string noInput;
    while (!text.empty()) {
        if (clientGone_ || !running_.load() || Stalled()) {
            return false;  // Serve drops a stalled client on its next turn
        }
        const std::size_t part = std::min(RoomForOutput(), text.size());
        if (part == 0) {
            clientGone_ = !Exchange(*client_, false, noInput);
            continue;
        }
        if (!Send(text.substr(0, part))) {
            return false;
        }
        text.remove_prefix(part);
    }
    return true;
}

std::size_t TcpLineService::PeakPendingOutput() const {
    const std::lock_guard lock(outputMutex_);
    return peakOutput_;
}

std::size_t TcpLineService::RoomForOutput() const {
    const std::lock_guard lock(outputMutex_);
    return kLargestPendingOutput - output_.size();
}

void TcpLineService::ThreadMain(TcpSocket listener) {
    while (running_.load()) {
        std::optional<TcpSocket> client = tcp::AcceptWhile(listener, running_);
        if (!client) {
            break;
        }
        if (setup_.oneClient) {
            listener.Close();
        }
        Serve(std::move(*client), listener);
        if (setup_.oneClient) {
            break;
        }
    }
    serving_ = false;
    finished_ = true;
}

void TcpLineService::Serve(TcpSocket client, const TcpSocket& listener) {
    const std::string peer = tcp::PeerName(client);
    LogInfo(setup_.name, "client " + peer + " connected");
    tcp::ProbeIdlePeer(client);
    {
        const std::lock_guard lock(outputMutex_);
        output_.clear();
        hasClient_ = true;
    }
    if (setup_.onConnected) {
        setup_.onConnected();
    }
    CommandFramer framer(setup_.framing);
    std::string input;
    std::size_t used = 0;
    client_ = &client;
    listener_ = setup_.busyText.empty() || setup_.oneClient ? nullptr : &listener;
    clientGone_ = false;
    lastLine_ = std::chrono::steady_clock::now();
    othersDue_ = {};
    bool open = true;
    while (open && running_.load()) {
        HandleLines(framer, input, used);
        if (used == input.size()) {
            input.clear();
            used = 0;
        }
        open = !clientGone_ && Exchange(client, input.empty() && !OutputWaiting(), input);
        if (open && Stalled()) {
            LogWarning(setup_.name, "client " + peer + " dropped: it read no reply for " +
                                        std::to_string(setup_.stallMs / 1000) + " s");
            open = false;
        }
        if (open && Idle()) {
            LogWarning(setup_.name, "client " + peer + " dropped: it sent no command for " +
                                        std::to_string(setup_.idleMs / 1000) + " s");
            open = false;
        }
    }
    client_ = nullptr;
    listener_ = nullptr;
    client.Close();
    // A one-client service is off before it shows no client, so that
    // nobody sees it idle and listening when it is not.
    if (setup_.oneClient) {
        serving_ = false;
    }
    {
        const std::lock_guard lock(outputMutex_);
        hasClient_ = false;
        output_.clear();
    }
    ++clientsServed_;
    LogInfo(setup_.name, "client " + peer + (running_.load() ? " left" : " closed at the stop"));
    if (setup_.onClientGone) {
        setup_.onClientGone();
    }
}

void TcpLineService::HandleLines(CommandFramer& framer, std::string& input, std::size_t& used) {
    if (OutputWaiting()) {
        return;
    }
    while (used < input.size() && running_.load()) {
        const std::optional<std::string> line = framer.Add(input[used++]);
        if (framer.TakeOverflow()) {
            LogWarning(setup_.name, "a line longer than " +
                                        std::to_string(CommandFramer::kLongestCommand) +
                                        " characters was dropped");
            if (setup_.onOverlong) {
                setup_.onOverlong();
            }
        }
        if (line) {
            lastLine_ = std::chrono::steady_clock::now();
        }
        if (line && setup_.onLine) {
            setup_.onLine(*line);
            // A command that ran past the idle time (a utility, a long
            // recording) was the client's business, not its silence.
            lastLine_ = std::chrono::steady_clock::now();
            if (OutputWaiting()) {
                return;
            }
        }
    }
}

// One poll of the client and the wake-up: reads when asked for input,
// writes what waits. A hang-up or error is left to the read or write,
// which reports it.
bool TcpLineService::Exchange(const TcpSocket& client, bool wantInput, std::string& input) {
    const bool wantOutput = OutputWaiting();
    // POLLRDHUP tells a client that is leaving from one that stays, so that
    // a client reconnecting at once is not told the port is busy.
    const short events =
        static_cast<short>((wantInput ? POLLIN : 0) | (wantOutput ? POLLOUT : 0) | POLLRDHUP);
    const auto now = std::chrono::steady_clock::now();
    const int listenFd = listener_ != nullptr && now >= othersDue_ ? listener_->Fd() : -1;
    pollfd polled[3] = {{client.Fd(), events, 0}, {wakeFd_, POLLIN, 0}, {listenFd, POLLIN, 0}};
    const int n = ::poll(polled, 3, tcp::kPollMs);
    if (n <= 0) {
        return n == 0 || errno == EINTR;
    }
    if (polled[1].revents != 0) {
        ClearWake();
    }
    const bool leaving = (polled[0].revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0 ||
                         (polled[2].revents != 0 && PeerClosed(client));
    if (polled[2].revents != 0 && !leaving) {
        // A client that closed and reconnects at once may be seen coming
        // before its old connection is seen going: it is told only if it
        // still waits a moment later.
        if (othersDue_ == std::chrono::steady_clock::time_point{}) {
            othersDue_ = now + std::chrono::milliseconds(setup_.reconnectGraceMs);
        } else {
            TurnAwayWaiting();
            othersDue_ = {};
        }
    }
    const short got = polled[0].revents;
    if ((got & POLLNVAL) != 0) {
        return false;
    }
    if (wantOutput && (got & (POLLOUT | POLLERR | POLLHUP)) != 0 && !Flush(client)) {
        return false;
    }
    if (!wantInput || (got & (POLLIN | POLLERR | POLLHUP)) == 0) {
        return true;
    }
    char buffer[kReadBufferBytes];
    const ssize_t count = ::recv(client.Fd(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (count > 0) {
        input.append(buffer, static_cast<std::size_t>(count));
        tcp::AcknowledgeAtOnce(client);
        return true;
    }
    return count < 0 && TryAgain();  // 0 bytes from a readable socket: the peer closed it
}

// The client's end closed, though the poll may not have shown it yet: a
// close just before a new connection can still be on its way through the
// stack when the newcomer is seen.
bool TcpLineService::PeerClosed(const TcpSocket& client) {
    char byte = 0;
    return ::recv(client.Fd(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

// The line is short and the socket new, so it fits the send buffer: the
// client reads it whenever it looks, after the close. One client at a
// time: one that comes while the word goes out may be the next client
// proper, coming after the present one has left, and the next poll tells.
void TcpLineService::TurnAwayWaiting() {
    const std::string line = setup_.busyText + "\n";
    TcpSocket other = tcp::Accept(*listener_);
    if (!other.IsOpen()) {
        return;
    }
    LogInfo(setup_.name, "client " + tcp::PeerName(other) + " told the port is busy");
    if (::send(other.Fd(), line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
        // It left before the word: nothing to tell.
    }
}

bool TcpLineService::Idle() const {
    if (setup_.idleMs <= 0 || OutputWaiting()) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastTaken;
    {
        const std::lock_guard lock(outputMutex_);
        lastTaken = lastTaken_;
    }
    // A client reading a long reply is busy even without sending.
    return now - std::max(lastLine_, lastTaken) > std::chrono::milliseconds(setup_.idleMs);
}

bool TcpLineService::Flush(const TcpSocket& client) {
    const std::lock_guard lock(outputMutex_);
    const ssize_t sent =
        ::send(client.Fd(), output_.data(), output_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
        return TryAgain();
    }
    output_.erase(0, static_cast<std::size_t>(sent));
    if (sent > 0) {
        lastTaken_ = std::chrono::steady_clock::now();
    }
    return true;
}

bool TcpLineService::OutputWaiting() const {
    const std::lock_guard lock(outputMutex_);
    return !output_.empty();
}

bool TcpLineService::Stalled() const {
    const std::lock_guard lock(outputMutex_);
    return !output_.empty() && std::chrono::steady_clock::now() - lastTaken_ >
                                   std::chrono::milliseconds(setup_.stallMs);
}

void TcpLineService::Wake() {
    const std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is full: a wake-up is pending anyway.
    }
}

void TcpLineService::ClearWake() {
    std::uint64_t count = 0;
    if (::read(wakeFd_, &count, sizeof count) < 0) {
        // Nothing was pending.
    }
}

}  // namespace tavlin
