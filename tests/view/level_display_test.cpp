#include "view/level_display.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/row_name.h"

namespace tavlin {
namespace {

// 100 to 200 MHz at 10 dB/div under 0 dBm; a preamplifier whose gain rises
// from 0 dB at 100 MHz to 10 dB at 150 MHz, and nothing known above.
MarkerScale Screen() {
    MarkerScale scale;
    scale.startHz = 100e6;
    scale.stopHz = 200e6;
    return scale;
}

LevelDisplay Preamplifier(LevelUnit unit) {
    LevelDisplay levels;
    const TransducerTable::Parse parse = TransducerTable::FromText("100e6,0\n150e6,-10\n");
    if (parse.table) {
        levels.SetTransducer(std::make_shared<const TransducerTable>(*parse.table));
    }
    levels.SetUnit(unit);
    return levels;
}

struct ReadingRow {
    const char* name;
    LevelUnit unit;
    double hz;
    ReadingFlag flag;
    const char* text;  // of a level of -30 dBm at the input
};

class LevelDisplayReadings : public ::testing::TestWithParam<ReadingRow> {};

TEST_P(LevelDisplayReadings, AddTheFactorAndSayWhereThereIsNone) {
    const ReadingRow& row = GetParam();
    EXPECT_EQ(Preamplifier(row.unit).ReadingText(Screen(), row.hz, -30.0, row.flag), row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, LevelDisplayReadings,
    ::testing::Values(
        ReadingRow{"Between", LevelUnit::kDbm, 125e6, ReadingFlag::kNone, "-35.00 dBm"},
        ReadingRow{"InDbmv", LevelUnit::kDbmv, 150e6, ReadingFlag::kNone, "6.99 dBmV"},
        ReadingRow{"InVolts", LevelUnit::kVolt, 100e6, ReadingFlag::kNone, "7.071 mV"},
        ReadingRow{"OutsideUncorrected", LevelUnit::kDbm, 175e6, ReadingFlag::kNone,
                   "-30.00 dBm UNCORR"},
        ReadingRow{"AnEdgeGivesWayToUncorrected", LevelUnit::kDbm, 175e6, ReadingFlag::kAboveScreen,
                   "-30.00 dBm UNCORR"},
        ReadingRow{"NoNumberStaysNoNumber", LevelUnit::kDbm, 125e6, ReadingFlag::kStale, "STALE"}),
    test::kRowName);

// The preamplifier's gain takes 10 dB off at 150 MHz (column 320): a row
// drawn there moves a division down, but a level clamped at the top line
// says only "at least" and stays there; no field strength without an antenna.
TEST(LevelDisplay, RowsMoveByTheFactorButNeverOntoTheGraticuleFromAnEdge) {
    const LevelDisplay levels = Preamplifier(LevelUnit::kDbuvPerMetre);
    EXPECT_EQ(levels.Unit(), LevelUnit::kDbm);
    ScreenRows rows{};
    rows.fill(kNoRow);
    rows[320] = 300;
    rows[300] = 0;
    rows[640] = 300;
    const ScreenRows moved = levels.CorrectedRows(rows, Screen());
    EXPECT_EQ(moved[320], 350);
    EXPECT_EQ(moved[300], 0);
    EXPECT_EQ(moved[640], 300) << "beyond the table: drawn as measured";
    EXPECT_EQ(moved[0], kNoRow);
}

TEST(LevelDisplay, NoiseReadsPerRootHertzInUnitsOfVoltageAndPerHertzInThoseOfPower) {
    EXPECT_EQ(Preamplifier(LevelUnit::kDbuv).DensityText(Screen(), 100e6, -174.0, {}),
              "-67.01 dB\u00B5V/\u221AHz");
    EXPECT_EQ(Preamplifier(LevelUnit::kWatt).DensityText(Screen(), 150e6, -164.0, {}),
              "3.981 zW/Hz");
    EXPECT_EQ(Preamplifier(LevelUnit::kDbm).PowerText(Screen(), 125e6, -30.0, {}), "-35.00 dBm");
}

}  // namespace
}  // namespace tavlin
