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

// The lines of a CSV text, each ended by CR LF.
std::vector<std::string> Lines(const std::string& csv) {
    std::vector<std::string> lines;
    for (std::size_t from = 0, end; from < csv.size(); from = end + 2) {
        end = csv.find("\r\n", from);
        lines.push_back(csv.substr(from, end - from));
        if (end == std::string::npos) {
            break;
        }
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

// One line per point after the header, in the units the axes show: Hz with
// the converter offset, dBm with the reference offset, mV on the linear
// scale, ms in zero span and Hz of deviation with the FM detector.
TEST(TraceExportTest, HeaderAndFirstMiddleAndLastLinesInEachScale) {
    struct Row {
        const char* name;
        MarkerScale scale;
        std::string lines;  // the header, points 0, 320 and 640
    };
    MarkerScale converted = Swept();
    converted.freqOffsetHz = -900e6;
    MarkerScale linear = Swept();
    linear.linearScale = true;
    linear.refLevelDbm = 0.0;
    linear.refLevelOffsetDb = 0.0;
    MarkerScale zeroSpan = Swept();
    zeroSpan.stopHz = zeroSpan.startHz;
    MarkerScale fm = zeroSpan;
    fm.zeroSpanFm = true;
    fm.maxFmOffsetHz = 100000.0;
    const Row rows[] = {
        {"swept", Swept(),
         "Frequency (Hz),Level (dBm)|902000000.000,-8|915000000.000,-58|928000000.000,-108"},
        {"converter", converted,
         "Frequency (Hz),Level (dBm)|2000000.000,-8|15000000.000,-58|28000000.000,-108"},
        // The first point is at the reference level, 0 dBm.
        {"linear", linear,
         "Frequency (Hz),Level (mV)|902000000.000,223.607|915000000.000,111.803|928000000.000,0"},
        {"zero span", zeroSpan, "Time (ms),Level (dBm)|0.000000,-8|200.000000,-58|400.000000,-108"},
        {"FM", fm, "Time (ms),Deviation (Hz)|0.000000,100000|200.000000,0|400.000000,-100000"},
    };
    for (const Row& row : rows) {
        const std::vector<std::string> lines = Lines(TraceExport::Csv(row.scale, Ramp()));
        ASSERT_EQ(lines.size(), 1u + kTracePoints) << row.name;
        EXPECT_EQ(lines[0] + "|" + lines[1] + "|" + lines[321] + "|" + lines[641], row.lines)
            << row.name;
    }
}

class TraceExportFileTest : public test::DocumentFixture {};

// The file holds the document's trace; a failed write says why, and leaves
// neither a file nor a temporary one beside what was in the way.
TEST_F(TraceExportFileTest, WritesTheDocumentsTraceOrNothing) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.EditTrace([](ScreenState& s) { s.trace.traceA = Ramp(); });
    const auto path = cacheDir / "trace.csv";
    EXPECT_EQ(TraceExport::Write(d, path), "");
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    EXPECT_EQ(text.str(), TraceExport::Csv(MarkerCommands(d).Scale(), Ramp()));

    const auto missingFolder = cacheDir / "no-such-folder" / "trace.csv";
    const std::string error = TraceExport::Write(d, missingFolder);
    EXPECT_NE(error.find("not exported"), std::string::npos) << error;
    EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(missingFolder));
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
