// tavlin-cli as a user runs it: a separate process, its output and exit code.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_directory.h"

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class TavlinCliTest : public ::testing::Test {
  protected:
    ~TavlinCliTest() override { std::filesystem::remove_all(workDir); }

    // Runs the program in the test's folder, its output and errors going to
    // files there. A run that hangs is ended after a minute (exit 124).
    RunResult Run(const std::string& arguments) const {
        const std::string command = "cd '" + workDir.string() +
                                    "' && timeout 60 '" TAVLIN_CLI_PATH "' " + arguments +
                                    " </dev/null >stdout.txt 2>stderr.txt";
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read("stdout.txt"),
                Read("stderr.txt")};
    }
    std::string Read(const char* name) const {
        std::ifstream in(workDir / name);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    const std::filesystem::path workDir = tavlin::test::MakeTestDirectory("tavlin-cli");
};

TEST_F(TavlinCliTest, InfoPrintsTheUnitsIdentityAndCachesItsTable) {
    const RunResult r = Run("--simulate='" TAVLIN_SOURCE_DIR "/scenes/default.json' --info");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    for (const char* line : {"Serial: TV000123\n", "Firmware: Tavlin 2.03\n", "Preamp: yes\n",
                             "Cal date: ", "TCXO: 1200 ppb\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << " in\n" << r.out;
    }
    EXPECT_TRUE(std::filesystem::exists(workDir / "TV000123.kvo"));
}

// Each failure has its exit code and says what went wrong on stderr only.
// Nothing that names a file can stop the program: a folder, a device that
// never ends and a FIFO with no writer are refused at once.
TEST_F(TavlinCliTest, FailuresGiveTheirExitCodeAndMessage) {
    std::ofstream(workDir / "broken.json") << "{ \"signals\": [ {\"freq_hz\": \"high\"} ] }";
    ASSERT_EQ(::mkfifo((workDir / "fifo").c_str(), 0600), 0);
    struct Row {
        const char* name;
        const char* arguments;
        int exitCode;  // -1: any but 0
        std::vector<const char*> messages;
    };
    const Row rows[] = {
        {"malformed scene", "--simulate=broken.json --info", -1, {"broken.json"}},
        {"scene from a FIFO", "--simulate=fifo --info", 1, {"not a regular file"}},
        {"unknown option", "--frobnicate", 2, {"usage"}},
        {"no instrument",
         "--info",
         3,
         {"ERROR 1-TAVLIN NOT FOUND: PLEASE CONNECT TAVLIN NOW", "ERROR 1: TAVLIN NOT FOUND"}},
        {"recall of a folder, a device, a FIFO",
         "--simulate -c 'REC .' -c 'REC /dev/zero' -c 'REC fifo'",
         1,
         {"Cannot open .: not a regular file", "/dev/zero: not a regular file"}},
        {"save without a name", "--simulate -c 'SAV '", 1, {"SAV needs the name"}},
        {"unrecognised beats a failed file command", "--simulate -c 'SAV ' -c HELLO", 2, {"HELLO"}},
    };
    for (const Row& row : rows) {
        const RunResult r = Run(row.arguments);
        if (row.exitCode < 0) {
            EXPECT_NE(r.exitCode, 0) << row.name;
        } else {
            EXPECT_EQ(r.exitCode, row.exitCode) << row.name;
        }
        EXPECT_EQ(r.out, "") << row.name;
        for (const char* message : row.messages) {
            EXPECT_NE(r.err.find(message), std::string::npos) << row.name << ": " << r.err;
        }
    }
    // Asked for, the usage and the version go to standard output, before any
    // other option is looked at or an instrument sought.
    for (const char* ask : {"--help --frobnicate", "--version --frobnicate"}) {
        const RunResult r = Run(ask);
        EXPECT_EQ(r.exitCode, 0) << ask;
        EXPECT_EQ(r.out.rfind(ask[2] == 'h' ? "usage: tavlin-cli" : "tavlin-cli ", 0), 0u) << ask;
    }
}

// ";" separates commands as on the server's port, and a continuous sweep is
// finished, not waited on for ever, when the commands end.
TEST_F(TavlinCliTest, CommandsAreFramedAsTheServerFramesThemAndTheConsoleAlwaysEnds) {
    const RunResult r =
        Run("--simulate -c 'FRE:CEN 915e6;FRE:SPA 1e6' -c TRI:CON -c '*WAI' -c 'MAR:PEA;MAR:FRE ?' "
            "-c 'SAV s1.pqz '");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(r.out.ends_with("\r\n")) << r.out;
    EXPECT_NEAR(std::stod(r.out), 915e6, 2e3) << "one reply: the peak of the 1 MHz span";
    EXPECT_TRUE(std::filesystem::exists(workDir / "s1.pqz"));
}

// An erased calibration memory holds 0xFF bytes: none reaches the terminal.
TEST_F(TavlinCliTest, BlankUnitsCalibrationDateIsEmpty) {
    std::ofstream(workDir / "blank.json") << R"({"calibration": "blank"})";
    const RunResult r = Run("--simulate=blank.json --info");
    EXPECT_NE(r.out.find("Cal date: \n"), std::string::npos) << r.out;
}

}  // namespace

// A factory procedure from the console: its boxes on stderr, its verdict in
// the exit status. Without linux-gpib (not installed here) the bench is
// missing: the report says so and fails at the timebase, without a file.
TEST_F(TavlinCliTest, ProceduresReportOnStderrAndInTheExitStatus) {
    RunResult r = Run("--simulate --answer yes --procedure self-test");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("SELF TEST RESULTS: Self Test Results:\nBroadband power detector: PASS"),
              std::string::npos)
        << r.err;

    r = Run("--simulate --bench gpib --answer yes --procedure cal-report");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("SETUP ERROR: No Power Meter!\nSETUP ERROR: Signal Generator!\n"
                         "CAL FAIL: Timebase OOT.  Please run adjustment\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(workDir / "caldata.txt"));

    r = Run("--simulate --answer yes --procedure adjust-all");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ERROR: Cannot open ./CALMIN.kvo"), std::string::npos) << r.err;

    r = Run("--procedure adjust-everything");
    EXPECT_EQ(r.exitCode, 2);
}
