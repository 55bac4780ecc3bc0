#include <gmock/gmock.h>

#include <filesystem>
#include <ostream>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

#include "document/document_fixture.h"
#include "document/marker_commands.h"
#include "support/row_name.h"
#include "view/peak_table_export.h"
#include "view/spectrogram_export.h"
#include "view/trace_export.h"

namespace tavlin {
namespace {

using Rows = decltype(SweepTrace::traceA);

Rows Ramp() {
    Rows rows{};
    for (int i = 0; i < kTracePoints; ++i) {
        rows[i] = i * 500.0 / 640.0;
    }
    return rows;
}

// One line per point after the header, each ended by CR LF, in the units the
// axes show: Hz with the converter offset, dBm with the reference offset, mV
// on the linear scale, ms in zero span and Hz of deviation with the FM
// detector.
struct ScaleRow {
    const char* name;
    MarkerScale scale;
    std::string lines;  // the header, points 0, 320 and 640
    friend void PrintTo(const ScaleRow& row, std::ostream* out) { *out << row.name; }
};

class TraceExportScaleTest : public testing::TestWithParam<ScaleRow> {};

TEST_P(TraceExportScaleTest, HeaderAndFirstMiddleAndLastLines) {
    const ScaleRow& row = GetParam();
    std::vector<std::string> lines;
    const std::string csv = TraceExport::Csv(row.scale, Ramp());
    for (const auto line : std::views::split(csv, std::string_view("\r\n"))) {
        lines.emplace_back(line.begin(), line.end());
    }
    ASSERT_EQ(lines.size(), 2u + kTracePoints);
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[0] + "|" + lines[1] + "|" + lines[321] + "|" + lines[641], row.lines);
}

const ScaleRow kScaleRows[] = {
    {"Converter",
     {.startHz = 902e6,
      .stopHz = 928e6,
      .refLevelDbm = -10.0,
      .refLevelOffsetDb = 2.0,
      .freqOffsetHz = -900e6},
     "Frequency (Hz),Level (dBm)|2000000.000,-8|15000000.000,-58|28000000.000,-108"},
    // The first point is at the reference level, 0 dBm.
    {"Linear",
     {.startHz = 902e6, .stopHz = 928e6, .linearScale = true},
     "Frequency (Hz),Level (mV)|902000000.000,223.607|915000000.000,111.803|928000000.000,0"},
    {"FM",
     {.startHz = 902e6, .stopHz = 902e6, .sweepTimeSec = 0.4, .zeroSpanFm = true},
     "Time (ms),Deviation (Hz)|0.000000,100000|200.000000,0|400.000000,-100000"},
};
INSTANTIATE_TEST_SUITE_P(Scales, TraceExportScaleTest, testing::ValuesIn(kScaleRows),
                         test::kRowName);

class TraceExportFileTest : public test::DocumentFixture {};

// The file holds the document's trace; a failed write says why, and leaves
// neither a file nor a temporary one beside what was in the way.
TEST_F(TraceExportFileTest, WritesTheDocumentsTraceOrNothing) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.EditTrace([](ScreenState& s) { s.trace.traceA = Ramp(); });
    const auto path = cacheDir / "trace.csv";
    EXPECT_EQ(TraceExport::Write(d, path), "");
    const std::string csv = TraceExport::Csv(MarkerCommands(d).Scale(), Ramp());
    EXPECT_EQ(test::ReadFileBytes(path), Bytes(csv.begin(), csv.end()));

    const auto missingFolder = cacheDir / "no-such-folder" / "trace.csv";
    EXPECT_THAT(
        TraceExport::Write(d, missingFolder),
        testing::AllOf(testing::HasSubstr("not exported"), testing::HasSubstr("no-such-folder")));
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

// Each line of the spectrogram carries the UTC time its sweep ended, and
// its age after the oldest.
TEST(SpectrogramExport, LinesStartWithTheirSweepsUtcEnd) {
    SpectrogramHistory history;
    MarkerScale scale;
    scale.startHz = 900e6;
    scale.stopHz = 901e6;
    history.Append({10.0, 1796712319.75}, scale, Ramp());
    history.Append({10.5, 1796712320.25}, scale, Ramp());
    const std::string csv = SpectrogramExport::Csv(history);
    EXPECT_NE(csv.find("\r\nUTC time,Time (s) \\ Frequency (Hz),900000000.000,"),
              std::string::npos);
    EXPECT_NE(csv.find("\r\n2026-12-08T06:45:19.750Z,0.000,0.00,"), std::string::npos);
    EXPECT_NE(csv.find("\r\n2026-12-08T06:45:20.250Z,0.500,0.00,"), std::string::npos);
}

// The peak table's lines are the trace export's points with the flag's word
// after them; the screen's edges are written out, not as ">" or "<".
TEST(PeakTableExport, PointsWithTheirFlags) {
    MarkerScale scale;
    scale.stopHz = 1e6;
    scale.freqOffsetHz = 1e9;
    const std::vector<PeakTableRow> rows = {{500e3, 1.5, ReadingFlag::kAboveScreen},
                                            {250e3, -40.25, ReadingFlag::kNone},
                                            {750e3, -60.0, ReadingFlag::kOverRange}};
    EXPECT_EQ(PeakTableExport::Csv(scale, rows),
              "Frequency (Hz),Level (dBm),Flag\r\n"
              "1000500000.000,1.5,ABOVE SCREEN\r\n"
              "1000250000.000,-40.25,\r\n"
              "1000750000.000,-60,OVER RANGE\r\n");
}

}  // namespace
}  // namespace tavlin
