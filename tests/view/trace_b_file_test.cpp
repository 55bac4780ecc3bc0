// Trace B saved as levels against frequency and loaded back.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "view/trace_b_file.h"
#include "view/trace_export.h"

namespace tavlin {
namespace {

// 100 to 164 MHz, reference level -10 dBm, a downconverter 1 MHz below.
MarkerScale Screen() {
    MarkerScale scale;
    std::tie(scale.startHz, scale.stopHz, scale.refLevelDbm, scale.freqOffsetHz) =
        std::tuple(100e6, 164e6, -10.0, 1e6);
    return scale;
}

std::string SavedTrace() {
    decltype(SweepTrace::traceA) rows{};
    for (int i = 0; i < kTracePoints; ++i) {
        rows[i] = i % 500;
    }
    return TraceExport::Csv(Screen(), rows);
}

TEST(TraceBFile, LevelsComeBackOnTheirOwnBandWhateverTheScreen) {
    MarkerScale other = Screen();
    other.stopHz = 2e9;
    ScreenRows rows{};
    TraceBasis basis;
    ASSERT_EQ(TraceBFile::Parse(SavedTrace(), other, rows, basis), "");
    EXPECT_DOUBLE_EQ(basis.scale.startHz, 100e6);
    EXPECT_DOUBLE_EQ(basis.scale.stopHz, 164e6);
    // the rows of the present reference level, -10 dBm: the same levels
    EXPECT_EQ(rows[250], 250);
    EXPECT_EQ(rows[640], 140);
}

struct RefusedFile {
    const char* name;
    std::string from;  // a line of the saved file, or the header
    std::string to;
};

class TraceBFileRefusal : public testing::TestWithParam<RefusedFile> {};

TEST_P(TraceBFileRefusal, LeavesTraceBAsItWas) {
    std::string text = SavedTrace();
    const RefusedFile& row = GetParam();
    text.replace(text.find(row.from), row.from.size(), row.to);
    ScreenRows rows{};
    rows.fill(7);
    TraceBasis basis;
    EXPECT_NE(TraceBFile::Parse(text, Screen(), rows, basis), "");
    EXPECT_EQ(rows[3], 7);
    EXPECT_FALSE(basis.measured);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TraceBFileRefusal,
    testing::Values(RefusedFile{"MillivoltHeader", "Level (dBm)", "Level (mV)"},
                    RefusedFile{"LevelNotANumber", "101000000.000,-10", "101000000.000,nan"},
                    RefusedFile{"PointMissing", "101100000.000,-10.2\r\n", ""},
                    RefusedFile{"FrequencyOutOfStep", "101100000.000", "101150000.000"}),
    [](const testing::TestParamInfo<RefusedFile>& info) { return info.param.name; });

}  // namespace
}  // namespace tavlin
