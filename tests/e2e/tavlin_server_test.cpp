// tavlin-server as a service manager runs it: a separate process, its log,
// its SCPI socket and its signals.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "document/state_file.h"
#include "support/eventually.h"
#include "support/loopback_client.h"
#include "support/test_directory.h"

namespace {

using std::chrono::seconds;

// One server in the test's folder, its log in a file named after `tag`,
// its SCPI port picked by the system. One the test leaves running is killed.
class ServerProcess {
  public:
    ServerProcess(const std::filesystem::path& folder, const std::string& arguments,
                  const std::string& tag)
        : log_(folder / (tag + ".log")) {
        const std::string command = "cd '" + folder.string() +
                                    "' && exec '" TAVLIN_SERVER_PATH "' --scpi=127.0.0.1:0 " +
                                    arguments + " </dev/null 2>'" + log_.string() + "'";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            ::_exit(127);
        }
    }
    ~ServerProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::string Log() const { return tavlin::test::ReadFileText(log_); }

    // The port announced last (a session after a lost unit listens anew).
    int Port(const std::string& server = "SCPI on") const {
        const std::regex announced("server: " + server + " 127\\.0\\.0\\.1 port ([0-9]+)");
        int port = 0;
        tavlin::test::Eventually(
            [&] {
                const std::string log = Log();
                for (std::sregex_iterator it(log.begin(), log.end(), announced), end; it != end;
                     ++it) {
                    port = std::stoi((*it)[1]);
                }
                return port != 0;
            },
            seconds(30));
        return port;
    }
    // The exit status, by itself or after `signal`; -1: a hang past the bound.
    int Exit(int signal = 0, seconds bound = seconds(5)) {
        if (signal != 0) {
            ::kill(pid_, signal);
        }
        int status = 0;
        const bool ended = tavlin::test::Eventually(
            [&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, bound);
        pid_ = ended ? 0 : pid_;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    std::filesystem::path log_;
    pid_t pid_ = 0;
};

std::string Ask(int port, const std::string& commands, int replies) {
    tavlin::test::LoopbackClient client(port);
    client.Send(commands);
    return client.ReadLines(replies, 10000);
}

class TavlinServerTest : public ::testing::Test {
  protected:
    ~TavlinServerTest() override { std::filesystem::remove_all(folder); }
    std::string Scene(const std::string& name, const std::string& json) const {
        std::ofstream(folder / name) << json;
        return "--simulate='" + (folder / name).string() + "'";
    }
    const std::filesystem::path folder = tavlin::test::MakeTestDirectory("tavlin-server");
};

// The whole band swept from a state file: SIGTERM comes in the middle of a
// long pass and ends it, after two clients were served in turn.
TEST_F(TavlinServerTest, ServesClientsInTurnFromItsStateFileUntilSigterm) {
    tavlin::StateRecord wholeBand;
    wholeBand.startFreqHz = 0.0;
    wholeBand.stopFreqHz = 4.4e9;
    const std::vector<std::uint8_t> bytes = tavlin::EncodeStateFile(wholeBand);
    std::ofstream(folder / "band.pqz", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    ServerProcess server(folder, "--simulate --state band.pqz", "band");
    const int port = server.Port();
    EXPECT_EQ(Ask(port, "FREQ:CENT?\n", 1), "2200000000.000\n") << server.Log();
    EXPECT_NE(Ask(port, "*IDN?\n", 1).find("TV000123"), std::string::npos) << server.Log();
    EXPECT_EQ(server.Exit(SIGTERM), 0) << server.Log();
}

TEST_F(TavlinServerTest, WebPageOthersCanReachNeedsATokenFile) {
    ServerProcess server(folder, "--simulate --web=0.0.0.0:0", "web");
    EXPECT_EQ(server.Exit(0, seconds(30)), 2);
    EXPECT_NE(server.Log().find("needs --token-file"), std::string::npos) << server.Log();
}

TEST_F(TavlinServerTest, RefusedStateFileEndsItWithStatus2) {
    std::ofstream(folder / "junk.pqz") << "not a state";
    ServerProcess server(folder, "--simulate --state junk.pqz", "junk");
    EXPECT_EQ(server.Exit(0, seconds(30)), 2);
    EXPECT_NE(server.Log().find("FILE NOT RECOGNIZED"), std::string::npos) << server.Log();
}

// Two units on one host, each server opening its own; an unknown serial ends it.
TEST_F(TavlinServerTest, EachServerOpensTheUnitItsSerialNames) {
    ServerProcess first(folder, Scene("a.json", R"({"serial": "TV000201"})") + " --serial TV000201",
                        "a");
    ServerProcess second(folder,
                         Scene("b.json", R"({"serial": "TV000202"})") + " --serial TV000202", "b");
    EXPECT_NE(Ask(first.Port(), "*IDN?\n", 1).find(",TV000201,"), std::string::npos);
    EXPECT_NE(Ask(second.Port(), "*IDN?\n", 1).find(",TV000202,"), std::string::npos);
    EXPECT_EQ(first.Exit(SIGINT), 0);
    EXPECT_EQ(second.Exit(SIGTERM), 0);

    ServerProcess unknown(folder,
                          Scene("c.json", R"({"serial": "TV000203"})") + " --serial TV000201", "c");
    EXPECT_EQ(unknown.Exit(0, seconds(30)), 3);
    EXPECT_NE(unknown.Log().find("no unit with serial TV000201"), std::string::npos);
}

struct UnplugRow {
    const char* name;
    const char* replugAfterMs;
};

class TavlinServerUnplugTest : public TavlinServerTest,
                               public ::testing::WithParamInterface<UnplugRow> {};

// Unplugged in the first sweep: the sweep finds the carrier again, the unit
// back for the reset ERROR 6's policy answer starts, or only after it gave up;
// the web page, which outlived the session, shows the unit again.
TEST_P(TavlinServerUnplugTest, SweepsOnAfterTheUnitIsPluggedBack) {
    ServerProcess server(
        folder,
        Scene("unplugged.json", R"({"signals": [{"freq_hz": 915e6, "level_dbm": -25}], "faults": )"
                                R"({"unplug_at_data_request": 1, "replug_after_ms": )" +
                                    std::string(GetParam().replugAfterMs) + "}}") +
            " --web=127.0.0.1:0",
        "unplugged");
    const auto carrierFound = [&] {
        return Ask(server.Port(), "CALC:MARK:MAX\nCALC:MARK:X?\n", 1) == "915000000.000\n";
    };
    EXPECT_TRUE(tavlin::test::Eventually(carrierFound, seconds(40))) << server.Log();
    tavlin::test::LoopbackClient page(server.Port("web page on"));
    page.Send("GET /api/screen HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    EXPECT_NE(page.ReadLines(1 << 30).find(R"("connected":true)"), std::string::npos);
    EXPECT_EQ(server.Exit(SIGTERM), 0) << server.Log();
}

INSTANTIATE_TEST_SUITE_P(Replug, TavlinServerUnplugTest,
                         ::testing::Values(UnplugRow{"BackForTheReset", "1000"},
                                           UnplugRow{"BackAfterTheResetGaveUp", "7000"}),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
