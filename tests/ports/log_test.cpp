#include "ports/log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <string>

#include "ports/log_throttle.h"
#include "ports/rotating_file_log_sink.h"
#include "ports/scoped_log_sink.h"
#include "ports/stderr_log_sink.h"
#include "support/recording_log_sink.h"
#include "support/test_directory.h"

namespace tavlin {
namespace {

using test::ReadFileText;

struct LevelRow {
    const char* name;
    LogLevel kept;  // the log's level
    LogLevel event;
    const char* message;
    const char* line;  // empty: filtered out
};

class LogLevelTest : public ::testing::TestWithParam<LevelRow> {};

TEST_P(LogLevelTest, KeepsTheLevelAndAboveOneLineEach) {
    const LevelRow& row = GetParam();
    test::RecordingLogSink sink;
    const ScopedLogSink logging(sink, row.kept);
    Log(row.event, "device", row.message);
    EXPECT_EQ(sink.Take(), row.line);
    EXPECT_EQ(ParseLogLevel(LogLevelName(row.event)), row.event);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LogLevelTest,
    ::testing::Values(
        LevelRow{"ErrorAtWarning", LogLevel::kWarning, LogLevel::kError, "x", "error device: x\n"},
        LevelRow{"WarningAtWarning", LogLevel::kWarning, LogLevel::kWarning, "x",
                 "warning device: x\n"},
        LevelRow{"InfoAtWarning", LogLevel::kWarning, LogLevel::kInfo, "x", ""},
        LevelRow{"WarningAtError", LogLevel::kError, LogLevel::kWarning, "x", ""},
        LevelRow{"DebugAtDebug", LogLevel::kDebug, LogLevel::kDebug, "x", "debug device: x\n"},
        LevelRow{"LineEndsBecomeBlanks", LogLevel::kInfo, LogLevel::kInfo, "a\r\nb\tc",
                 "info device: a  b c\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The file is rotated before it passes its size: the newest lines in the
// file, older ones in .1 and .2, the oldest dropped. Each line has the time
// after its level.
TEST(RotatingFileLogSinkTest, RotatesAtItsSizeAndKeepsAFewOldFiles) {
    const std::filesystem::path folder = test::MakeTestDirectory("tavlin-log");
    const std::filesystem::path file = folder / "state" / "tavlin.log";
    {
        RotatingFileLogSink sink(file, 200, 2);
        ASSERT_TRUE(sink.IsOpen());
        for (int i = 10; i < 30; ++i) {
            sink.Write("warning device: line " + std::to_string(i));
        }
    }
    const std::regex line(R"(warning \d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z device: line \d\d\n)");
    for (const char* name : {"tavlin.log", "tavlin.log.1", "tavlin.log.2"}) {
        const std::string text = ReadFileText(file.parent_path() / name);
        EXPECT_LE(text.size(), 200u) << name;
        EXPECT_TRUE(std::regex_search(text.substr(0, text.find('\n') + 1), line)) << text;
    }
    EXPECT_NE(ReadFileText(file).find("line 29\n"), std::string::npos);
    const std::string kept = ReadFileText(file) + ReadFileText(file.string() + ".1") +
                             ReadFileText(file.string() + ".2");
    EXPECT_EQ(kept.find("line 10"), std::string::npos) << "the oldest file is dropped";
    EXPECT_FALSE(std::filesystem::exists(file.string() + ".3"));

    RotatingFileLogSink nowhere(file / "not-a-folder" / "x.log");
    EXPECT_FALSE(nowhere.IsOpen());
    nowhere.Write("error device: lost quietly");
    std::filesystem::remove_all(folder);
}

// A standard error that nobody reads (a pipe whose reader went on with
// other things) costs the logging threads one short wait, not their life;
// once the reader drains it, lines flow again.
TEST(StderrLogSinkTest, AFullPipeDropsLinesInsteadOfHoldingTheCaller) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    const std::string block(4096, 'x');
    while (::write(ends[1], block.data(), block.size()) > 0) {
    }
    ::fcntl(ends[1], F_SETFL, 0);
    StderrLogSink sink(ends[1]);
    const auto before = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        sink.Write("warning device: dropped");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
    std::string drained(1 << 20, '\0');
    const auto count = ::read(ends[0], drained.data(), drained.size());
    ASSERT_GT(count, 0);
    sink.Write("warning device: after");
    char tail[64] = {};
    EXPECT_EQ(::read(ends[0], tail, sizeof tail), 22);
    EXPECT_STREQ(tail, "warning device: after\n");
    ::close(ends[0]);
    ::close(ends[1]);
}

// A server fed garbage warns once per bad command: the log writes the first
// lines of the burst and then one count, and other topics go on meanwhile.
// The count still held reaches the sink when the program's log ends.
TEST(LogThrottleTest, ABurstOfOneWarningBecomesItsFirstLinesAndACount) {
    test::RecordingLogSink sink;
    {
        const ScopedLogSink scope(sink, LogLevel::kWarning);
        for (int i = 0; i < 2000; ++i) {
            LogWarning("Unrecognized Command", "x" + std::to_string(i));
        }
        LogWarning("SCPI", "client left");
    }
    const std::string text = sink.Take();
    std::smatch count;
    ASSERT_TRUE(std::regex_search(text, count, std::regex("Command: \\.\\.\\. and (\\d+) more")));
    const auto written = std::ranges::count(text, '\n') - 2;
    EXPECT_LE(written, 50);
    EXPECT_EQ(written + std::stoi(count[1]), 2000);
    EXPECT_TRUE(text.starts_with("warning Unrecognized Command: x0\n")) << text.substr(0, 80);
    EXPECT_NE(text.find("warning SCPI: client left\n"), std::string::npos);
}

TEST(LogThrottleTest, TheCountComesOnceTheWindowHasPassedAndInfoIsNeverHeld) {
    using std::chrono_literals::operator""ms;
    LogThrottle throttle;
    const LogThrottle::TimePoint t0{};
    int admitted = 0;
    for (int i = 0; i < 25; ++i) {
        admitted += throttle.Admit(LogLevel::kWarning, "SCPI", t0) ? 1 : 0;
    }
    EXPECT_EQ(admitted, LogThrottle::kBurstLines);
    EXPECT_TRUE(throttle.Admit(LogLevel::kError, "SCPI", t0)) << "its own count";
    EXPECT_TRUE(throttle.Admit(LogLevel::kInfo, "SCPI", t0));
    EXPECT_TRUE(throttle.TakeSummaries(t0 + 999ms).empty());
    EXPECT_EQ(throttle.TakeSummaries(t0 + 1000ms),
              std::vector<std::string>{"warning SCPI: ... and 15 more like it"});
    EXPECT_TRUE(throttle.TakeSummaries(t0 + 5000ms).empty());
    EXPECT_TRUE(throttle.Admit(LogLevel::kWarning, "SCPI", t0 + 1000ms));
}

}  // namespace
}  // namespace tavlin
