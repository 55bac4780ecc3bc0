#include "remote/tcp_line_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/loopback_client.h"

namespace tavlin {
namespace {

using test::Eventually;
using test::LoopbackClient;

TcpSocket ListenAnywhere() {
    std::string error;
    std::optional<TcpSocket> listener = tcp::Listen("127.0.0.1", 0, error);
    EXPECT_TRUE(listener) << error;
    return listener ? std::move(*listener) : TcpSocket();
}

// A client that never reads its replies: what waits for it is bounded, the
// service still stops at once, the next client starts clean, and one that
// stops reading for longer than the stall limit loses its turn.
TEST(TcpLineServiceTest, AClientThatNeverReadsIsBoundedAndStoppable) {
    TcpLineService service;
    std::atomic<int> lines{0};
    TcpLineService::Setup setup;
    setup.framing = kLineFraming;
    setup.onLine = [&](const std::string& line) {
        ++lines;
        service.Send(std::string(64 * 1024, 'r') + line + "\n");
    };
    service.Start(ListenAnywhere(), setup);
    LoopbackClient stalled(service.Port());
    stalled.Send("a\nb\n");
    ASSERT_TRUE(Eventually([&] { return lines.load() == 2; }));
    std::size_t queued = 0;
    while (service.Send(std::string(4096, 'x'))) {
        queued += 4096;
        ASSERT_LT(queued, 64u << 20) << "the output must be bounded";
    }

    const auto before = std::chrono::steady_clock::now();
    service.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_FALSE(service.Serving());

    setup.stallMs = 200;
    service.Start(ListenAnywhere(), setup);
    LoopbackClient next(service.Port());
    next.Send("c\n");
    EXPECT_EQ(next.ReadLines(1), std::string(64 * 1024, 'r') + "c\n");
    const std::string block(64 * 1024, 'x');  // more than the system's buffers, in time
    EXPECT_TRUE(Eventually([&] { return !service.Send(block) && service.ClientsServed() == 1; }))
        << "a client that stops reading is dropped, so the next one gets its turn";
}

// A command that runs past the idle time (a recording of a minute) is no
// idle client: its next line, sent meanwhile, is served once it is done.
TEST(TcpLineServiceTest, ACommandLongerThanTheIdleTimeKeepsTheClient) {
    TcpLineService service;
    TcpLineService::Setup setup;
    setup.framing = kLineFraming;
    setup.idleMs = 300;
    setup.onLine = [&service](const std::string& line) {
        if (line == "slow") {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
        } else {
            service.Send(line + "\n");
        }
    };
    service.Start(ListenAnywhere(), setup);
    LoopbackClient client(service.Port());
    client.Send("slow\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    client.Send("next\n");
    EXPECT_EQ(client.ReadLines(1), "next\n");
    EXPECT_EQ(service.ClientsServed(), 0);
}

// A client that holds the port without using it: one that comes meanwhile
// is told at once that the port is busy, and the holder loses its turn once
// it has sent no whole line for the idle time (a byte now and then is none).
struct HolderRow {
    const char* name;
    int idleMs;
    const char* trickle;  // sent byte by byte, 50 ms apart, while the others try
    bool dropped;
};

class TcpLineServiceHolder : public ::testing::TestWithParam<HolderRow> {};

TEST_P(TcpLineServiceHolder, OthersAreToldAndTheIdleHolderLosesItsTurn) {
    const HolderRow& row = GetParam();
    TcpLineService service;
    TcpLineService::Setup setup;
    setup.framing = kLineFraming;
    setup.idleMs = row.idleMs;
    setup.busyText = "BUSY";
    setup.reconnectGraceMs = 100;
    setup.onLine = [&service](const std::string& line) { service.Send(line + "\n"); };
    service.Start(ListenAnywhere(), setup);
    LoopbackClient holder(service.Port());
    ASSERT_TRUE(Eventually([&] { return service.HasClient(); }));
    LoopbackClient other(service.Port());
    EXPECT_EQ(other.ReadLines(1, 1000), "BUSY\n");
    for (const char* c = row.trickle; *c != '\0'; ++c) {
        holder.Send(std::string(1, *c));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (row.dropped) {
        // A trickle twice the idle time long has not kept the turn.
        EXPECT_TRUE(*row.trickle == '\0' || service.ClientsServed() == 1);
        EXPECT_TRUE(Eventually([&] { return service.ClientsServed() == 1; }));
        LoopbackClient next(service.Port());
        next.Send("next\n");
        EXPECT_EQ(next.ReadLines(1), "next\n");
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(service.ClientsServed(), 0);
        holder.Send("\n");
        EXPECT_EQ(holder.ReadLines(1), std::string(row.trickle) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Clients, TcpLineServiceHolder,
                         ::testing::Values(HolderRow{"Silent", 600, "", true},
                                           HolderRow{"Trickling", 600,
                                                     "*IDN?*IDN?*IDN?*IDN?*IDN?*IDN?", true},
                                           HolderRow{"SlowWithoutTimeOut", 0, "*IDN?", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tavlin
