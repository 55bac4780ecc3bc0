// Round trips of the remote servers on loopback, with no sweep running: a
// query sent, its whole reply read. Aims (median): a SCPI query under
// 0.1 ms, a setting and a query in two writes under 0.2 ms, the SCPI trace
// as a block of 641 floats under 1 ms and as text under 2 ms; the
// automation server's queries under 1 ms, its trace under 2 ms.
#include "bench_goals.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "document/analyzer_document.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "sim/make_virtual_instrument.h"

namespace {

using namespace tavlin;

// The instrument's waits pass at once: the document starts in a moment.
class InstantClock final : public Clock {
  public:
    TimePoint Now() override { return TimePoint(std::chrono::microseconds(now_.load())); }
    void SleepMs(int ms) override {
        now_ += ms * 1000LL;
        std::this_thread::yield();
    }

  private:
    std::atomic<long long> now_{1'000'000};
};

class SilentPrompter final : public Prompter {
  public:
    PromptAnswer Show(const std::string&, const std::string&, PromptButtons buttons) override {
        return buttons == PromptButtons::YesNo ? PromptAnswer::No : PromptAnswer::Ok;
    }
};

// `noDelay` false is a client as most are (pyvisa-py's socket among them):
// Nagle's rule holds a small write back until the last one is acknowledged.
int Connect(int port, bool noDelay = true) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = noDelay ? 1 : 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot connect");
    }
    return fd;
}

// Reads until the reply's last line end.
void ReadReply(int fd, int lineEnds) {
    char buffer[65536];
    int seen = 0;
    while (seen < lineEnds) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            throw std::runtime_error("the server closed the connection");
        }
        seen += static_cast<int>(std::count(buffer, buffer + n, '\n'));
    }
}

struct Bench {
    Bench() {
        std::string error;
        usb = sim::MakeVirtualInstrument(clock, {}, error);
        doc = std::make_unique<AnalyzerDocument>(
            DocumentPorts{*usb, clock, prompter, views, progress}, "/tmp");
        doc->PerformSweep();
    }
    InstantClock clock;
    SilentPrompter prompter;
    NullViewNotifier views;
    NullProgressSink progress;
    std::unique_ptr<UsbDriver> usb;
    std::unique_ptr<AnalyzerDocument> doc;
};

Bench& Instrument() {
    static Bench bench;
    return bench;
}

// A binary block may hold line feeds of its own: it is read by its length.
void ReadBytes(int fd, std::size_t count) {
    char buffer[65536];
    std::size_t seen = 0;
    while (seen < count) {
        const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - seen), 0);
        if (n <= 0) {
            throw std::runtime_error("the server closed the connection");
        }
        seen += static_cast<std::size_t>(n);
    }
}

constexpr double kScpiQueryGoalMs = 0.1;
constexpr double kScpiBinaryTraceGoalMs = 1.0;
constexpr double kScpiSettingThenQueryGoalMs = 0.2;
constexpr double kQueryGoalMs = 1.0;
constexpr double kTraceGoalMs = 2.0;
// "#42564", 641 floats and the line feed.
constexpr std::size_t kBinaryTraceBytes = 6 + 641 * 4 + 1;

// The median round trip in ms against its goal.
void SetRoundTripGoal(benchmark::State& state, std::chrono::steady_clock::time_point start,
                      double goalMs) {
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    tavlin::bench::SetGoalAtMost(state, elapsed.count() / static_cast<double>(state.iterations()),
                                 goalMs);
}

// `setup` is sent first and its one reply line read; then `query` over and
// over, each reply read whole by `read`.
template <typename Read>
void ScpiRoundTrips(benchmark::State& state, const std::string& setup, const std::string& query,
                    double goalMs, Read read) {
    ScpiServer server(*Instrument().doc);
    server.Enable({"127.0.0.1", 0});
    const int fd = Connect(server.Port());
    const std::string prepare = setup + "CALC:MARK:MAX;*OPC?\n";
    ::send(fd, prepare.data(), prepare.size(), MSG_NOSIGNAL);
    ReadReply(fd, 1);
    const std::string message = query + "\n";
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ::send(fd, message.data(), message.size(), MSG_NOSIGNAL);
        read(fd);
    }
    SetRoundTripGoal(state, start, goalMs);
    ::close(fd);
}

void Scpi(benchmark::State& state, const std::string& query, double goalMs) {
    ScpiRoundTrips(state, "", query, goalMs, [](int fd) { ReadReply(fd, 1); });
}

void ScpiBinaryTrace(benchmark::State& state) {
    ScpiRoundTrips(state, "FORM REAL,32;", "TRAC:DATA? TRACE1", kScpiBinaryTraceGoalMs,
                   [](int fd) { ReadBytes(fd, kBinaryTraceBytes); });
}

// A setting, then a query, in two writes from a client that keeps Nagle's
// rule: the query waits for the setting's acknowledgement, which the server
// must give at once (a delayed one costs 40 ms a pair).
void ScpiSettingThenQuery(benchmark::State& state) {
    ScpiServer server(*Instrument().doc);
    server.Enable({"127.0.0.1", 0});
    const int fd = Connect(server.Port(), false);
    const std::string setting = "FREQ:CENT 915 MHZ\n";
    const std::string query = "FREQ:CENT?\n";
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ::send(fd, setting.data(), setting.size(), MSG_NOSIGNAL);
        ::send(fd, query.data(), query.size(), MSG_NOSIGNAL);
        ReadReply(fd, 1);
    }
    SetRoundTripGoal(state, start, kScpiSettingThenQueryGoalMs);
    ::close(fd);
}

void Automation(benchmark::State& state, const std::string& query, int lineEnds) {
    AutomationServer server(*Instrument().doc);
    server.Enable({"127.0.0.1", 0, 0});
    const int commands = Connect(server.CommandPort());
    const int data = Connect(server.DataPort());
    const std::string message = query + "\n";
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ::send(commands, message.data(), message.size(), MSG_NOSIGNAL);
        ReadReply(data, lineEnds);
    }
    SetRoundTripGoal(state, start, lineEnds > 1 ? kTraceGoalMs : kQueryGoalMs);
    ::close(commands);
    ::close(data);
}

BENCHMARK_CAPTURE(Scpi, opc, "*OPC?", kScpiQueryGoalMs)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK_CAPTURE(Scpi, marker_x, "CALC:MARK:X?", kScpiQueryGoalMs)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK_CAPTURE(Scpi, trace, "TRAC:DATA? TRACE1", kTraceGoalMs)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK(ScpiBinaryTrace)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK(ScpiSettingThenQuery)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
BENCHMARK_CAPTURE(Automation, opc, "*OPC?", 1)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK_CAPTURE(Automation, marker_frequency, "MAR:FRE ?", 1)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();
BENCHMARK_CAPTURE(Automation, trace, "TRA:DAT ?", 641)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly();

}  // namespace

int main(int argc, char** argv) {
    return tavlin::bench::RunWithGoals(argc, argv);
}
