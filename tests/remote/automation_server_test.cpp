// The automation server on real sockets over loopback, with the ports the
// system chooses, so that runs in parallel never meet.
#include "remote/automation_server.h"

#include <chrono>
#include <filesystem>
#include <string>

#include "document/document_fixture.h"
#include "support/loopback_client.h"
#include "support/scripted_entry_dialogs.h"

namespace tavlin {
namespace {

using test::Eventually;
using test::LoopbackClient;

std::size_t CountEntries(const char* folder) {
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

class AutomationServerTest : public test::DocumentFixture {
  protected:
    ~AutomationServerTest() override { server.reset(); }

    AutomationServer& Start() {
        BuildWithInstrument();
        WatchPasses([] { return 0; });
        server = std::make_unique<AutomationServer>(*doc);
        EXPECT_TRUE(server->Enable({"127.0.0.1", 0, 0}));
        return *server;
    }
    TcpIpSettings Ports() const { return {"127.0.0.1", server->CommandPort(), server->DataPort()}; }
    std::string Box(std::size_t i) const {
        const auto boxes = prompter.Boxes();
        return i < boxes.size() ? boxes[i].caption + "|" + boxes[i].text : "none";
    }

    std::unique_ptr<AutomationServer> server;
};

// The classic cases: the marker query's reply on the data port, a chain
// with blanks after ";", a two-character command ignored, CR LF line ends,
// and the menu through Listening, Connected and Off when the client leaves.
TEST_F(AutomationServerTest, ServesOneClientOnTwoPortsUntilItLeaves) {
    AutomationServer& s = Start();
    EXPECT_EQ(s.MenuText(), "Disable Automation");
    LoopbackClient commands(s.CommandPort());
    LoopbackClient data(s.DataPort());
    ASSERT_TRUE(Eventually([&] { return s.Connected(); }));
    EXPECT_EQ(s.MenuText(), "TCP Connected!");
    EXPECT_FALSE(s.MenuEnabled());
    EXPECT_FALSE(LoopbackClient(s.CommandPort()).Connected()) << "one client per enabling";
    test::ScriptedEntryDialogs dialogs;
    s.OnEnableAutomation(dialogs);
    EXPECT_EQ(Box(0), "Unavailable|TCP client is connected.\r\nExit application to disconnect.");
    EXPECT_TRUE(dialogs.openings.empty());

    commands.Send("MAR:NOR\nMAR:FRE ?\n");
    EXPECT_EQ(data.ReadLines(1), "915000000.000\r\n");
    commands.Send("FRE:CEN 100000000; FRE:SPA 1000000;AB;\r\nMAR:NOR\r\nMAR:FRE ?\r\n");
    EXPECT_EQ(data.ReadLines(1), "100000000.000\r\n");
    EXPECT_EQ(doc->Frequencies().SpanHz(), 1e6);
    EXPECT_EQ(prompter.Count(), 1u) << "AB is ignored without a message";

    commands.Close();
    EXPECT_TRUE(Eventually([&] { return s.MenuText() == "Enable Automation"; }));
}

// Disable ends both threads at once and frees both ports for the next
// Enable; a port another socket holds is reported, and the server stays off.
TEST_F(AutomationServerTest, DisableFreesThePortsAndATakenPortIsReported) {
    AutomationServer& s = Start();
    const TcpIpSettings ports = Ports();
    const auto before = std::chrono::steady_clock::now();
    s.Disable();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    EXPECT_EQ(s.MenuText(), "Enable Automation");
    test::ScriptedEntryDialogs dialogs;
    dialogs.tcpIps = {std::nullopt, ports};
    s.OnEnableAutomation(dialogs);  // Cancel
    EXPECT_FALSE(s.Enabled());
    s.OnEnableAutomation(dialogs);
    ASSERT_TRUE(s.Enabled());
    EXPECT_EQ(dialogs.openings.back().startText, "127.0.0.1");
    s.OnEnableAutomation(dialogs);  // Disable
    EXPECT_FALSE(s.Enabled());

    std::string error;
    const std::optional<TcpSocket> taken = tcp::Listen("127.0.0.1", 0, error);
    const int port = tcp::BoundPort(*taken);
    EXPECT_FALSE(s.Enable({"127.0.0.1", ports.commandPort, port}));
    EXPECT_EQ(Box(0), "TCP/IP ERROR|Cannot listen on 127.0.0.1 port " + std::to_string(port) +
                          ": Address already in use");
    EXPECT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(s.MenuText(), "Enable Automation");
    EXPECT_TRUE(s.Enable(ports)) << "the command port was released again";
}

TEST_F(AutomationServerTest, AThousandClientsLeaveNoDescriptorOrThreadBehind) {
    AutomationServer& s = Start();
    const TcpIpSettings ports = Ports();
    s.Disable();
    const std::size_t descriptors = CountEntries("/proc/self/fd");
    const std::size_t threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(s.Enable(ports)) << i;
        LoopbackClient commands(ports.commandPort);
        LoopbackClient data(ports.dataPort);
        ASSERT_TRUE(Eventually([&] { return s.Connected(); })) << i;
        commands.Close();
        ASSERT_TRUE(Eventually([&] { return !s.Enabled(); })) << i;
    }
    s.Disable();
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

// A script sends its queries in one write and reads the answers after: one
// line per query, in their order, whether the data port was connected
// before the commands ran or not.
TEST_F(AutomationServerTest, EveryQueryIsAnsweredInOrderWhateverTheTiming) {
    AutomationServer& s = Start();
    LoopbackClient commands(s.CommandPort());
    std::string pairs = "MAR:NOR\n";
    for (int i = 0; i < 100; ++i) {
        pairs += "MAR:FRE ?\nMAR:AMP ?\n";
    }
    commands.Send(pairs + "FRE:CEN 100e6\n");
    ASSERT_TRUE(Eventually([&] { return doc->Frequencies().CenterHz() == 100e6; }));
    LoopbackClient data(s.DataPort());
    const std::string answers = data.ReadLines(200);
    EXPECT_EQ(std::ranges::count(answers, '\n'), 200);
    EXPECT_TRUE(answers.starts_with("915000000.000\r\n-")) << answers.substr(0, 40);

    for (int i = 0; i < 20; ++i) {
        commands.Send("FRE:CEN 915e6;FRE:SPA 2e6;TRI:SIN\n*OPC?\nMAR:PEA\nMAR:FRE ?\n");
        const std::string reply = data.ReadLines(2);
        EXPECT_TRUE(reply.starts_with("1\r\n9")) << i << ": " << reply;
        EXPECT_EQ(std::ranges::count(reply, '\n'), 2) << i;
    }
}

// Nothing a client sends or leaves undone stops the server or the program:
// 1 MiB without a terminator, file names that leave the folder, replies
// nobody reads (they wait for a reader, and a client whose reader left for
// good is dropped, no SIGPIPE).
TEST_F(AutomationServerTest, AClientCannotExhaustOrEndTheProgram) {
    AutomationServer& s = Start();
    LoopbackClient commands(s.CommandPort());
    ASSERT_TRUE(Eventually([&] { return s.Connected(); }));
    commands.Send(std::string(1 << 20, 'x') + "\nSAV ../x.pqz\nSAV " +
                  (cacheDir / "abs.pqz").string() + "\n");
    ASSERT_TRUE(Eventually([&] { return prompter.Count() == 3; }));
    EXPECT_EQ(Box(0),
              "Unrecognized Command|A command longer than 65536 characters without a "
              "terminator was dropped.");
    EXPECT_EQ(Box(1), "Unrecognized Command|SAV ../x.pqz");
    EXPECT_EQ(Box(2), "Unrecognized Command|SAV " + (cacheDir / "abs.pqz").string());
    EXPECT_FALSE(std::filesystem::exists(cacheDir / "abs.pqz"));

    std::string traces;
    for (int i = 0; i < 20; ++i) {
        traces += "TRA:DAT ?\n";
    }
    commands.Send(traces);  // more than the reply text holds, before anyone reads
    LoopbackClient data(s.DataPort());
    EXPECT_EQ(std::ranges::count(data.ReadLines(20 * 641), '\n'), 20 * 641);
    data.Close();
    for (int i = 0; i < 10; ++i) {
        commands.Send(traces);  // past what the data port holds, with its reader gone
    }
    EXPECT_TRUE(Eventually([&] { return !s.Enabled(); }));
    EXPECT_EQ(prompter.Count(), 3u);
}

// A command thread that waits on a message box is served by the thread that
// disables, as the document's pause does, instead of both waiting for ever.
TEST_F(AutomationServerTest, DisableServesTheBoxACommandWaitsOn) {
    AutomationServer& s = Start();
    std::atomic<bool> shown{false};
    std::atomic<bool> served{false};
    doc->SetWaitHook([&] { served = true; });
    prompter.whileShown = [&] {
        shown = true;
        while (!served.load()) {
            std::this_thread::yield();
        }
    };
    LoopbackClient commands(s.CommandPort());
    commands.Send("HELLO\n");
    ASSERT_TRUE(Eventually([&] { return shown.load(); }));
    s.Disable();
    EXPECT_EQ(Box(0), "Unrecognized Command|HELLO");
}

}  // namespace
}  // namespace tavlin
