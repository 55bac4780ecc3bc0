#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "document/document_fixture.h"
#include "document/marker_commands.h"
#include "view/trace_export.h"

namespace tavlin {
namespace {

using Rows = decltype(SweepTrace::traceA);

std::vector<std::string> Lines(const std::string& csv) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < csv.size()) {
        const std::size_t end = csv.find("\r\n", from);
        if (end == std::string::npos) {
            lines.push_back(csv.substr(from));
            break;
        }
        lines.push_back(csv.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

MarkerScale Swept() {
    MarkerScale s;
    s.startHz = 902e6;
    s.stopHz = 928e6;
    s.sweepTimeSec = 0.4;
    s.refLevelDbm = -10.0;
    s.refLevelOffsetDb = 2.0;
    s.dbPerDiv = 10.0;
    return s;
}

Rows Ramp() {
    Rows rows{};
    for (int i = 0; i < kTracePoints; ++i) {
        rows[i] = i * 500.0 / 640.0;
    }
    return rows;
}

TEST(TraceExportTest, OneLinePerPointInHzAndDbmWithTheOffsets) {
    const std::vector<std::string> lines = Lines(TraceExport::Csv(Swept(), Ramp()));
    ASSERT_EQ(lines.size(), 1u + kTracePoints);
    EXPECT_EQ(lines[0], "Frequency (Hz),Level (dBm)");
    EXPECT_EQ(lines[1], "902000000.000,-8");
    EXPECT_EQ(lines[321], "915000000.000,-58");
    EXPECT_EQ(lines[641], "928000000.000,-108");

    // The frequencies are those the axis shows, with the converter offset.
    MarkerScale converted = Swept();
    converted.freqOffsetHz = -900e6;
    EXPECT_EQ(Lines(TraceExport::Csv(converted, Ramp()))[1], "2000000.000,-8");
}

TEST(TraceExportTest, LinearScaleInMillivolts) {
    MarkerScale s = Swept();
    s.linearScale = true;
    s.refLevelDbm = 0.0;
    s.refLevelOffsetDb = 0.0;
    const std::vector<std::string> lines = Lines(TraceExport::Csv(s, Ramp()));
    EXPECT_EQ(lines[0], "Frequency (Hz),Level (mV)");
    EXPECT_EQ(lines[1], "902000000.000,223.607");  // the reference level, 0 dBm
    EXPECT_EQ(lines[641], "928000000.000,0");
}

TEST(TraceExportTest, ZeroSpanInMillisecondsAndFmInHzOfDeviation) {
    MarkerScale s = Swept();
    s.stopHz = s.startHz;
    std::vector<std::string> lines = Lines(TraceExport::Csv(s, Ramp()));
    EXPECT_EQ(lines[0], "Time (ms),Level (dBm)");
    EXPECT_EQ(lines[1], "0.000000,-8");
    EXPECT_EQ(lines[641], "400.000000,-108");
    s.zeroSpanFm = true;
    s.maxFmOffsetHz = 100000.0;
    lines = Lines(TraceExport::Csv(s, Ramp()));
    EXPECT_EQ(lines[0], "Time (ms),Deviation (Hz)");
    EXPECT_EQ(lines[1], "0.000000,100000");
    EXPECT_EQ(lines[321], "200.000000,0");
}

class TraceExportFileTest : public test::DocumentFixture {};

TEST_F(TraceExportFileTest, WritesTheDocumentsTrace) {
    AnalyzerDocument& d = BuildWithInstrument();
    {
        std::lock_guard lock(d.traceMutex);
        d.trace.traceA = Ramp();
    }
    const auto path = cacheDir / "trace.csv";
    EXPECT_EQ(TraceExport::Write(d, path), "");
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), TraceExport::Csv(MarkerCommands(d).Scale(), Ramp()));
}

TEST_F(TraceExportFileTest, AFailedWriteSaysWhyAndLeavesNoFile) {
    AnalyzerDocument& d = BuildWithInstrument();
    const auto missingFolder = cacheDir / "no-such-folder" / "trace.csv";
    const std::string error = TraceExport::Write(d, missingFolder);
    EXPECT_NE(error.find("not exported"), std::string::npos) << error;
    EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(missingFolder));

    // A folder in the way cannot be replaced: it stays, and no temporary
    // file is left beside it.
    const auto folder = cacheDir / "taken.csv";
    std::filesystem::create_directory(folder);
    EXPECT_NE(TraceExport::Write(d, folder), "");
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(cacheDir)) {
        entries += entry.path().filename().string().find("taken.csv") != std::string::npos;
    }
    EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace tavlin
