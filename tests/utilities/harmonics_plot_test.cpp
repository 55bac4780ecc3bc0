#include <string>
#include <vector>

#include "document/level_rows.h"
#include "e2e/virtual_unit_fixture.h"
#include "utilities/harmonics/harmonics_plot.h"
#include "utilities/utility_session.h"

namespace tavlin::test {
namespace {

class HarmonicsPlotTest : public VirtualUnitTest {};

// 450 MHz: harmonic 10 (4.5 GHz) lies beyond the receiver and is not swept;
// harmonic 9 (4.05 GHz) is. Levels read with the reference level offset, as
// the markers read them.
TEST_F(HarmonicsPlotTest, EachHarmonicAtItsFrequencyAndLevelAndTheSpanComesBack) {
    sim::SceneEmitter carrier = Cw(450e6, -20.0);
    carrier.harmonicsDbc = {-30.0, -45.0, 0.0, -200.0, -200.0, -200.0, -200.0, -40.0, -40.0};
    Start({carrier});
    constexpr double kOffsetDb = 10.0;
    Edit([](InstrumentState& s) { s.refLevelOffsetDb = kOffsetDb; });
    doc->SetCenterSpan(450e6, 1e6);
    std::vector<HarmonicReading> readings;
    {
        const UtilitySession session(*doc);
        readings = HarmonicsPlot(*doc).Run();
    }
    struct Row {
        int n;
        double levelDbm;  // -100: nothing there but the noise floor (-80 dBm or so)
    };
    const std::vector<Row> rows = {{1, -20.0}, {2, -50.0},  {3, -65.0},  {4, -20.0}, {5, -100},
                                   {6, -100},  {7, -100.0}, {8, -100.0}, {9, -60.0}};
    ASSERT_EQ(readings.size(), 10u);
    for (const Row& row : rows) {
        const HarmonicReading& h = readings[row.n - 1];
        const std::string name = "harmonic " + std::to_string(row.n);
        EXPECT_EQ(h.n, row.n);
        EXPECT_TRUE(h.swept) << name;
        EXPECT_EQ(h.flag == ReadingFlag::kBelowNoise, row.levelDbm < -90.0) << name;
        if (row.levelDbm > -90.0) {
            EXPECT_NEAR(h.freqHz, row.n * 450e6, 1e6 / 640.0 + 1.0) << name;
            EXPECT_NEAR(h.levelDbm, row.levelDbm + kOffsetDb, 1.5) << name;
        } else {
            EXPECT_LT(h.levelDbm, -75.0 + kOffsetDb) << name;
        }
    }
    EXPECT_FALSE(readings[9].swept);
    EXPECT_EQ(readings[9].flag, ReadingFlag::kNotMeasured);
    // The composite holds harmonic n's peak at its column 64 n - 32.
    EXPECT_NEAR(LevelOfRow(doc->ReadTrace([](const ScreenState& s) { return s.trace.traceA; })[96]),
                -50.0, 1.5);
    // Harmonic 10 was not measured: a gap, not a level on the bottom line.
    EXPECT_EQ(doc->ReadTrace([](const ScreenState& s) { return s.trace.traceAInt; })[640], kNoRow);
    EXPECT_EQ(doc->Frequencies().CenterHz(), 450e6);
    EXPECT_EQ(doc->Frequencies().SpanHz(), 1e6);
    EXPECT_EQ(doc->Settings().dbPerDiv, 10.0);
}

}  // namespace
}  // namespace tavlin::test
