// tavlin-cli as a user runs it: a separate process, its output and exit code.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "document/state_file.h"
#include "support/test_directory.h"

namespace {

// With --simulate-usb the program starts itself again with the virtual USB
// library preloaded. In a build under AddressSanitizer that library then
// comes before the sanitizer's runtime, which the runtime refuses unless it
// is told that the order is meant.
std::string SanitizerOptions() {
    const char* given = std::getenv("ASAN_OPTIONS");
    const std::string options = given != nullptr && *given != '\0' ? std::string(given) + ":" : "";
    return "ASAN_OPTIONS='" + options + "verify_asan_link_order=0' ";
}

// A sweep failed or lost data during the run.
constexpr int kSweepIncomplete = 5;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class TavlinCliTest : public ::testing::Test {
  protected:
    ~TavlinCliTest() override { std::filesystem::remove_all(workDir); }

    // Runs the program in the test's folder, its output and errors going to
    // files there (named after `tag`, so that runs may go on side by side).
    // A run that hangs is ended after a minute (exit 124).
    RunResult Run(const std::string& arguments, const std::string& tag = "") const {
        const std::string out = tag + "stdout.txt";
        const std::string err = tag + "stderr.txt";
        const std::string command = "cd '" + workDir.string() + "' && " + SanitizerOptions() +
                                    "timeout 60 '" TAVLIN_CLI_PATH "' " + arguments +
                                    " </dev/null >" + out + " 2>" + err;
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                tavlin::test::ReadFileText(workDir / out),
                tavlin::test::ReadFileText(workDir / err)};
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

    // A blank unit: its erased table is named on stderr and in the identity
    // (that it is not cached is the table's own test). Its erased date (0xFF bytes) never reaches
    // the terminal.
    const RunResult blank = Run("--simulate='" TAVLIN_SOURCE_DIR "/scenes/blank_unit.json' --info");
    EXPECT_NE(blank.err.find("CALIBRATION DATA: "), std::string::npos) << blank.err;
    EXPECT_NE(blank.out.find("Cal date: \n"), std::string::npos) << blank.out;
    EXPECT_NE(blank.out.find("Calibration: UNCAL, the unit's memory: every byte of the table is "
                             "0xFF"),
              std::string::npos)
        << blank.out;
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
        {"unknown option", "--frobnicate", 2, {"unknown option --frobnicate", "usage"}},
        {"recall of a folder, a device, a FIFO",
         "--simulate -c 'REC .' -c 'REC /dev/zero' -c 'REC fifo'",
         1,
         {"Cannot open .: not a regular file", "/dev/zero: not a regular file"}},
        {"save without a name", "--simulate -c 'SAV '", 1, {"SAV needs the name"}},
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

// The phase-noise plot starts Qt, which wants the session's runtime folder:
// a script's bare session gets one, and no warning on standard error.
TEST_F(TavlinCliTest, QtStartsWithoutAWarningWhereNoRuntimeFolderIsSet) {
    const char* given = std::getenv("XDG_RUNTIME_DIR");
    const std::string kept = given != nullptr ? given : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    const RunResult r = Run("--utility phase-noise --out plot.bmp");
    if (!kept.empty()) {
        ::setenv("XDG_RUNTIME_DIR", kept.c_str(), 1);
    }
    EXPECT_EQ(r.exitCode, 3) << "no unit on this bus";
    EXPECT_EQ(r.err.find("XDG_RUNTIME_DIR"), std::string::npos) << r.err;
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

// Every fault a scene can give the unit, as the user meets it on the console:
// its message on standard error and the exit status. A unit pulled in the
// middle of a sweep comes back through the reset that ERROR 6's Yes starts,
// or through USB:RES, and ends the program with status 3 when it never comes
// back. The rows run side by side: most of their time is the program's own
// waiting.
TEST_F(TavlinCliTest, SceneFaultsShowTheirMessagesAndExitStatus) {
    tavlin::StateRecord triggered;
    triggered.startFreqHz = triggered.stopFreqHz = 915e6;
    triggered.syncTrigMode = 3;    // TRIG IN
    triggered.sweepTimeSec = 0.5;  // a zero-span time the dialog takes: recalled unchanged
    const std::vector<std::uint8_t> bytes = tavlin::EncodeStateFile(triggered);
    std::ofstream(workDir / "trig.pqz", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    struct Row {
        const char* name;
        const char* faults;
        std::string arguments;
        int exitCode;
        std::vector<const char*> messages;
        bool SweepsOn() const { return exitCode == 0 || exitCode == kSweepIncomplete; }
    };
    const char* notFound = "ERROR 1: TAVLIN NOT FOUND\nClosing application";
    const char* errorSix =
        "ERROR 6 - COMMUNICATIONS ERROR: USB ERROR 6- RECOMMEND USB REBOOT\n"
        "DO YOU WISH TO REBOOT THE TAVLIN?";
    const char* errorFive = "ERROR--TRY AGAIN: Error 5 - USB Data Not Received";
    const char* peakOfOneMegahertz =
        "-c 'FRE:CEN 915e6;FRE:SPA 1e6' -c TRI:SIN -c '*WAI' "
        "-c 'MAR:PEA;MAR:FRE ?'";
    const std::string twoNarrowSweeps =
        " -c 'FRE:CEN 915.2e6;FRE:SPA 100e3' -c TRI:SIN -c '*WAI' -c TRI:SIN -c '*WAI' "
        "-c 'MAR:PEA;MAR:AMP ?'";
    const Row rows[] = {
        {"no device",
         R"({"listing": "no_device"})",
         "--info",
         3,
         {"ERROR 1-TAVLIN NOT FOUND: PLEASE CONNECT TAVLIN NOW\n then click OK", notFound}},
        {"only the data channel", R"({"listing": "only_data_channel"})", "--info", 3, {notFound}},
        {"foreign descriptions", R"({"listing": "foreign_descriptions"})", "--info", 0, {}},
        {"data channel held elsewhere",
         R"({"data_channel_already_open": true})",
         "--info",
         3,
         {"ERROR 2: PORT1 Did not open"}},
        // Ten attempts, a quarter of a second apart, before the message.
        {"data channel fails nine times", R"({"data_open_failures": 9})", "--info", 0, {}},
        {"data channel fails ten times",
         R"({"data_open_failures": 10})",
         "--info",
         3,
         {"ERROR 2: PORT1 Did not open"}},
        {"command channel fails to open",
         R"({"command_open_failures": 1})",
         "--info",
         3,
         {"ERROR 2: PORT2 Did not open"}},
        {"failed write",
         R"({"failed_writes": 1})",
         peakOfOneMegahertz,
         kSweepIncomplete,
         {errorSix}},
        // The first of the two narrow sweeps that end every row meets these.
        {"short captures", R"({"short_captures": 1})", "", kSweepIncomplete, {errorFive}},
        {"wrong headers", R"({"wrong_headers": 1})", "", kSweepIncomplete, {errorFive}},
        {"missing step block",
         R"({"missing_step_block": 3})",
         peakOfOneMegahertz,
         kSweepIncomplete,
         {"ERROR 5: Missing data i = "}},
        {"no trigger", R"({"no_trigger": true})", "-c 'REC trig.pqz' -c TRI:SIN", 0, {}},
        // Start-up sends some 1030 commands, most of them reads of the
        // calibration memory.
        {"unplugged while the table is read and back",
         R"({"unplug_after_commands": 120, "replug_after_ms": 1500})",
         peakOfOneMegahertz + std::string(" ") + peakOfOneMegahertz,
         kSweepIncomplete,
         {errorSix}},
        {"unplugged in the sweep and back",
         R"({"unplug_at_data_request": 1, "replug_after_ms": 1500})",
         peakOfOneMegahertz + std::string(" -c USB:RES ") + peakOfOneMegahertz,
         kSweepIncomplete,
         {errorSix}},
        {"unplugged for good",
         R"({"unplug_at_data_request": 1})",
         peakOfOneMegahertz,
         3,
         {errorSix, notFound}},
    };
    // Each row runs on the virtual unit directly and through libftdi and the
    // virtual converter, where the unit's absence is the converter missing
    // from the bus, as when a cable is pulled.
    const char* paths[] = {"--simulate=", "--simulate-usb="};
    std::vector<std::future<RunResult>> runs;
    for (std::size_t index = 0; index < 2 * std::size(rows); ++index) {
        const Row& row = rows[index / 2];
        const std::string tag = "row" + std::to_string(index);
        // A serial of its own gives each run its own calibration cache, so
        // every run reads the table at start-up.
        std::ofstream(workDir / (tag + ".json"))
            << R"({"serial": "TV9)" << index << R"(", )"
            << R"("signals": [{"freq_hz": 915.2e6, "level_dbm": -30}],)"
            << R"( "trigger": {"period_ms": 10}, "faults": )" << row.faults << "}";
        const std::string arguments = "--answer yes " + std::string(paths[index % 2]) + tag +
                                      ".json " + row.arguments +
                                      (row.SweepsOn() ? twoNarrowSweeps : "");
        runs.push_back(
            std::async(std::launch::async, [this, tag, arguments] { return Run(arguments, tag); }));
    }
    for (std::size_t index = 0; index < runs.size(); ++index) {
        const Row& row = rows[index / 2];
        const std::string name = row.name + std::string(", ") + paths[index % 2];
        const RunResult r = runs[index].get();
        EXPECT_EQ(r.exitCode, row.exitCode) << name << ": " << r.err;
        if (row.messages.empty()) {
            EXPECT_EQ(r.err, "") << name;
        }
        for (const char* message : row.messages) {
            EXPECT_NE(r.err.find(message), std::string::npos) << name << ": " << r.err;
        }
        // A marker read right after the failed sweep says so.
        if (row.exitCode == kSweepIncomplete && !row.arguments.empty()) {
            EXPECT_NE(r.out.find(" INCOMPLETE\r\n"), std::string::npos) << name << ": " << r.out;
        }
        // The link finds its feet by itself: the second sweep after the fault
        // reads the emitter's level.
        if (row.SweepsOn()) {
            const auto last = r.out.rfind('\n', r.out.size() - 2);
            EXPECT_NEAR(std::stod(r.out.substr(last == std::string::npos ? 0 : last + 1)), -30.0,
                        1.0)
                << name << ": " << r.out;
        }
    }
}

}  // namespace

// The shipped unplugged scene pulls the cable in the first sweep, whether the
// start-up read the calibration memory or found it cached; the second reads.
// Logging alone: the console sweeps for the duration, says what it wrote
// and exits 0; a log whose file cannot be made is refused with exit 1.
TEST_F(TavlinCliTest, LogsSweepsForItsDurationAndEnds) {
    const RunResult r = Run("--simulate --log-sweeps s.csv --duration 1s");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find(" sweeps logged to s.csv, 0 dropped"), std::string::npos) << r.err;
    EXPECT_NE(tavlin::test::ReadFileText(workDir / "s.csv").find(", 902000000, "),
              std::string::npos);
    const RunResult missing = Run("--simulate --log-sweeps no-such-folder/s.csv", "missing-");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot create the sweep log"), std::string::npos) << missing.err;
}

TEST_F(TavlinCliTest, UnpluggedScenePullsTheCableInTheFirstSweep) {
    std::string sweeps;
    for (int sweep = 0; sweep < 2; ++sweep) {
        sweeps += " -c TRI:SIN -c '*WAI' -c 'MAR:PEA;MAR:AMP ?'";
    }
    for (const char* table : {"read", "cached"}) {
        const RunResult r = Run("--answer yes --simulate='" TAVLIN_SOURCE_DIR
                                "/scenes/unplugged.json' -c 'FRE:CEN 915e6;FRE:SPA 1e6'" +
                                sweeps);
        EXPECT_NE(r.err.find("ERROR 6"), std::string::npos) << table << ": " << r.err;
        ASSERT_LT(r.out.find(" INCOMPLETE"), r.out.find('\n')) << table << ": " << r.out;
        EXPECT_NEAR(std::stod(r.out.substr(r.out.find('\n'))), -25.0, 1.0)
            << table << ": " << r.out;
    }
}

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
                         "CAL FAIL: No 1 GHz signal above the noise."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(workDir / "caldata.txt"));

    r = Run("--simulate --answer yes --procedure adjust-all");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("ERROR: Cannot open ./CALMIN.kvo"), std::string::npos) << r.err;

    // The flatness pages as text: the four fields, then every entry of the
    // eight flatness rows and the two IF responses, once each.
    r = Run("--simulate --answer yes --procedure view-flatness");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Currently viewing:\n High Band, ATTEN = 15 dB\nentry current min max\n"
                         "0 "),
              std::string::npos)
        << r.out.substr(0, 400);
    const auto entryLines = std::ranges::count(r.out, '\n') - 5 - 10 * 4;
    EXPECT_EQ(entryLines, 4 * 150 + 4 * 426 + 2 * 51);

    r = Run("--procedure adjust-everything");
    EXPECT_EQ(r.exitCode, 2);
}

// The console's limit test: a sweep after the commands against the example
// mask passes on the default scene and fails on the strong one, naming each
// failing point; a mask it cannot read is a failure to set up.
TEST_F(TavlinCliTest, LimitMaskPassesFailsOrIsOverRangeAndHarmonicsAreFlagged) {
    const std::string span = " -c 'FRE:CEN 915e6;FRE:SPA 20e6' --limit-mask '" TAVLIN_SOURCE_DIR
                             "/scenes/emission_mask.csv'";
    const RunResult pass =
        Run("--simulate='" TAVLIN_SOURCE_DIR "/scenes/default.json'" + span, "pass-");
    EXPECT_EQ(pass.exitCode, 0) << pass.err;
    EXPECT_EQ(pass.out, "PASS\n");

    const RunResult fail =
        Run("--simulate='" TAVLIN_SOURCE_DIR "/scenes/strong_signal.json'" + span, "fail-");
    EXPECT_EQ(fail.exitCode, 4) << fail.err;
    EXPECT_TRUE(fail.out.starts_with("FAIL 91")) << fail.out;
    EXPECT_NE(fail.out.find(" >1.00 dBm above upper limit -10.00 dBm\n"), std::string::npos)
        << fail.out << "a level clamped at the top of the screen is a bound";
    EXPECT_NE(fail.out.find("\nFAIL at 91"), std::string::npos) << fail.out;

    const std::string strong = "--simulate='" TAVLIN_SOURCE_DIR "/scenes/strong_signal.json'";
    const RunResult over = Run(strong + span + " -c 'AMP:RLE -20'", "over-");
    EXPECT_EQ(over.exitCode, 4) << over.err;
    EXPECT_EQ(over.out, "OVER RANGE\n") << "the carrier is far above the screen, never a pass";
    const RunResult harmonics =
        Run(strong + " -c 'FRE:CEN 915e6;FRE:SPA 20e6;AMP:RLE -40' --utility harmonics", "harm-");
    EXPECT_TRUE(harmonics.out.starts_with("1,91")) << harmonics.out;
    EXPECT_NE(harmonics.out.find(" OVER RANGE\n2,"), std::string::npos) << harmonics.out;
    EXPECT_NE(harmonics.out.find("\n5,4575000000,NOT MEASURED\n"), std::string::npos);

    std::ofstream(workDir / "bad.csv") << "915e6,-10\n914e6,-10\n";
    const RunResult bad = Run("--simulate --limit-mask bad.csv", "bad-");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("bad.csv: line 2: the frequency falls"), std::string::npos) << bad.err;
}
