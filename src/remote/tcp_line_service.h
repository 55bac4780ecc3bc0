#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "remote/command_framer.h"
#include "remote/tcp_socket.h"

namespace tavlin {

// One TCP port served by one thread: clients are accepted one after the
// other, what each sends is cut into lines and handed to a handler, and
// replies are queued for the client with Send. Every wait is a poll() of at
// most tcp::kPollMs that also watches the stop request, so Stop ends the
// thread within one poll once the handler has returned.
//
// A client is bounded twice: a line past CommandFramer::kLongestCommand is
// dropped (and reported through onOverlong), and replies it does not read
// pile up to kLargestPendingOutput at most; while replies wait, no further
// line of that client is handled, so a client that sends on without reading
// is slowed down, not served out of memory. Clients take turns, so one that
// stops reading its replies is dropped after Setup::stallMs, and one whose
// machine vanished is found by TCP keep-alive probes: neither holds the port
// from the next client. One that sends no whole line for Setup::idleMs (a
// byte now and then is no line) is dropped too, and a client that comes
// while another is served is told Setup::busyText and closed at once,
// rather than left waiting in the backlog without a word.
//
// A handler whose reply may outgrow the bound (one line asking for many
// traces) hands it over piece by piece with SendPaced, which serves the
// client meanwhile: every byte asked for arrives, and memory stays bounded
// by the socket and kLargestPendingOutput, not by what one line asks.
class TcpLineService {
  public:
    static constexpr std::size_t kLargestPendingOutput = 1 << 20;

    struct Setup {
        std::string name;  // what the port serves, for the log ("SCPI")
        FramingRules framing = kAutomationFraming;
        // Stop listening at the first client (later ones are refused by
        // the system) and end when it leaves.
        bool oneClient = false;
        // Each line, on the service's thread; none: lines are read and dropped.
        std::function<void(const std::string& line)> onLine;
        std::function<void()> onOverlong;
        std::function<void()> onConnected;  // Send already reaches the client
        std::function<void()> onClientGone;
        int stallMs = 30000;  // replies unread for this long drop the client
        int idleMs = 0;       // no whole line for this long drops the client; 0: never
        // Sent, with a line feed, to a client that comes while another is
        // served; empty: it waits its turn in the backlog.
        std::string busyText;
        // How long a newcomer waits before it is told the port is busy: long
        // enough that a script closing and reconnecting at once, on a loaded
        // machine, finds its old connection gone and is served; short enough
        // that nobody hangs.
        int reconnectGraceMs = 2000;
    };

    TcpLineService();
    ~TcpLineService();
    TcpLineService(const TcpLineService&) = delete;
    TcpLineService& operator=(const TcpLineService&) = delete;

    // Serves the listening socket (tcp::Listen) on a new thread; a thread
    // left from an earlier start is joined first.
    void Start(TcpSocket listener, Setup setup);
    // Asks the thread to end and returns at once.
    void RequestStop();
    // Asks the thread to end and joins it. A handler may be waiting on
    // something the calling thread has to do (a message box):
    // `whileWaiting` is called meanwhile, else the caller sleeps briefly.
    void Stop(const std::function<void()>& whileWaiting = {});

    // Listening for or serving a client.
    bool Serving() const { return serving_.load(); }
    bool HasClient() const { return hasClient_.load(); }
    // The port listened on, kept after the stop.
    int Port() const { return port_.load(); }
    // Clients that have come and gone since the start.
    int ClientsServed() const { return clientsServed_.load(); }

    // Queues the text for the client, from any thread; false when there is
    // no client or the text does not fit beside what it has not read yet.
    bool Send(std::string_view text);
    // From the line handler only: queues the text, waiting while the client
    // reads what is ahead of it, so the output never passes the bound. False
    // when the client went, stalled or the service is stopping.
    bool SendPaced(std::string_view text);
    // The most output that has waited for a client at once since the start.
    std::size_t PeakPendingOutput() const;

  private:
    void ThreadMain(TcpSocket listener);
    void Serve(TcpSocket client, const TcpSocket& listener);
    // False once the client has gone.
    bool Exchange(const TcpSocket& client, bool wantInput, std::string& input);
    // Tells each client waiting on the listener that the port is busy.
    void TurnAwayWaiting();
    static bool PeerClosed(const TcpSocket& client);
    // No whole line and no reply taken for Setup::idleMs.
    bool Idle() const;
    bool Flush(const TcpSocket& client);
    std::size_t RoomForOutput() const;
    // Hands complete lines to the handler until a reply waits or the input
    // is used up.
    void HandleLines(CommandFramer& framer, std::string& input, std::size_t& used);
    bool OutputWaiting() const;
    // Replies have waited stallMs without a byte taken by the client.
    bool Stalled() const;
    void Wake();
    void ClearWake();

    Setup setup_;
    int wakeFd_ = -1;  // an eventfd: Send and RequestStop end the poll at once
    std::atomic<bool> running_{false};
    std::atomic<bool> serving_{false};
    std::atomic<bool> finished_{true};
    std::atomic<bool> hasClient_{false};
    std::atomic<int> port_{0};
    std::atomic<int> clientsServed_{0};
    mutable std::mutex outputMutex_;
    std::string output_;
    std::chrono::steady_clock::time_point lastTaken_;  // of output_; under outputMutex_
    std::size_t peakOutput_ = 0;                       // under outputMutex_
    // The client being served and whether it has gone, for SendPaced; on
    // the service's thread only.
    const TcpSocket* client_ = nullptr;
    const TcpSocket* listener_ = nullptr;  // while a client is served and others are told
    bool clientGone_ = false;
    std::chrono::steady_clock::time_point lastLine_;
    // When clients waiting on the listener are told the port is busy; none
    // while no client waits.
    std::chrono::steady_clock::time_point othersDue_;
    std::thread thread_;
};

}  // namespace tavlin
