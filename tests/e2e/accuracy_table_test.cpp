// End-to-end accuracy: one CW emitter of the virtual instrument's scene,
// measured by each sweep kind and read with PEAK as a user reads it. The
// frequency must lie within a pixel's width or one RBW, whichever is larger,
// and the level within 0.5 dB for the FFT kinds and zero span, 1 dB for the
// step sweep and 2 dB for the wide sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "document/marker_commands.h"
#include "document/marker_scale.h"
#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

using test::kNear630Hz;
using test::kNear653Hz;

struct Row {
    std::string kind;
    double startHz = 0.0;
    double stopHz = 0.0;  // equal to start: AM zero span for sweepTimeSec
    double freqHz = 0.0;
    double levelDbm = -30.0;
    double refLevelDbm = 0.0;
    double attenDb = 10.0;
    bool imageReject = true;
    double tcxoPpb = 0.0;
    int clockMode = -1;  // -1: not checked
    double levelToleranceDb = 0.5;
    double counterToleranceHz = 0.0;  // 0: not checked
    double sweepTimeSec = 0.01;
    bool linear = false;  // LIN: the marker reads mV
};

// FFT spans with the emitter off centre, -30 dBm: image rejection through
// the 2.9 MHz IF (reference 0 dBm), through LO2 on the signal's other side
// (+10 dBm), and off.
void AddFftRows(std::vector<Row>& rows) {
    struct Centre {
        const char* where;
        double hz;
        int mode1k, mode10k, mode200k;
    };
    const Centre centres[] = {{"915 MHz", 915e6, 0, 0, 0},
                              {"low band", 100e6, 0, 0, 0},
                              {"near 630 MHz", kNear630Hz, 2, 2, 0},
                              {"near 653.3 MHz", kNear653Hz, 1, 1, 0},
                              {"near DC", 3e6, -1, 0, 0}};
    for (const auto& [imageReject, ref] : {std::pair{true, 0.0}, {true, 10.0}, {false, 0.0}}) {
        for (const Centre& c : centres) {
            for (const auto& [span, mode] :
                 {std::pair{1e3, c.mode1k}, {10e3, c.mode10k}, {200e3, c.mode200k}}) {
                if (mode < 0) {
                    continue;
                }
                Row row{"FFT " + std::string(c.where) + " span " + std::to_string(span)};
                row.startHz = c.hz - span / 2;
                row.stopHz = c.hz + span / 2;
                row.freqHz = c.hz + 0.1372 * span;
                row.refLevelDbm = ref;
                row.imageReject = imageReject;
                row.clockMode = mode;
                row.counterToleranceHz = 1.0;
                rows.push_back(row);
            }
        }
    }
    // Weak to strong with a reference error; weak emitters with the
    // reference brought down to them, as an engineer reads them.
    for (const double centre : {915e6, 100e6, kNear653Hz}) {
        for (const double level : {-70.0, -50.0, -10.0}) {
            Row row{"FFT levels"};
            row.startHz = centre - 5e3;
            row.stopHz = centre + 5e3;
            row.freqHz = centre - 3170.0;
            row.levelDbm = level;
            row.refLevelDbm = level < -30.0 ? level + 20.0 : 0.0;
            row.tcxoPpb = 1500.0;
            row.counterToleranceHz = 5.0;
            rows.push_back(row);
        }
    }
    for (const auto& [centre, mode] : {std::pair{915e6, 0}, {kNear653Hz, 1}}) {
        Row row{"narrow FFT, streamed"};
        row.startHz = centre - 50.0;
        row.stopHz = centre + 50.0;
        row.freqHz = centre + 13.7;
        row.clockMode = mode;
        rows.push_back(row);
    }
}

// Step sweeps: a spot off the step grid, wide spans of one point per step
// (off the grid by every amount), across the band split, below 16 MHz and
// from 0 Hz.
void AddStepRows(std::vector<Row>& rows) {
    struct Case {
        double start, stop, freq, level;
    };
    const Case cases[] = {
        {914.5e6, 915.5e6, 915.0137e6, -30.0},
        {914.5e6, 915.5e6, 915.2e6, -70.0},
        {902e6, 928e6, 903.3e6, -10.0},
        {902e6, 928e6, 920.1e6, -70.0},
        {902e6, 928e6, 915.0531e6, -45.0},
        {850e6, 950e6, 915e6, -40.0},
        {850e6, 950e6, 915.041e6, -40.0},
        {850e6, 950e6, 915.099e6, -40.0},
        {850e6, 950e6, 915.1e6, -40.0},
        {850e6, 950e6, 915.133e6, -40.0},
        {850e6, 950e6, 915.17e6, -40.0},
        {850e6, 950e6, 901.1e6, -70.0},
        {100e6, 200e6, 147.1e6, -40.0},
        {100e6, 200e6, 155.55e6, -60.0},
        {140e6, 180e6, 145.3e6, -20.0},
        {140e6, 180e6, 158.3e6, -70.0},
        {1e6, 11e6, 5.3e6, -30.0},
        {0.0, 1e6, 0.3e6, -50.0},
        {0.0, 200e6, 77.7e6, -20.0},
        {10e6, 30e6, 15.9e6, -40.0},
    };
    for (const Case& c : cases) {
        Row row{"step"};
        row.startHz = c.start;
        row.stopHz = c.stop;
        row.freqHz = c.freq;
        row.levelDbm = c.level;
        row.refLevelDbm = c.level < -65.0 ? -30.0 : 0.0;
        row.tcxoPpb = 1200.0;
        row.levelToleranceDb = 1.0;
        rows.push_back(row);
    }
}

// Full span: strong signals through the look again, weak ones from the
// detector (whose own floor is -80 dBm behind the attenuator), and the
// step list below the split.
void AddWideRows(std::vector<Row>& rows) {
    struct Case {
        double freq, level, atten;
    };
    const Case cases[] = {{915e6, -30.0, 10.0},   {2400.3e6, -10.0, 10.0}, {4387e6, -40.0, 10.0},
                          {151e6, -40.0, 10.0},   {1200e6, -60.0, 10.0},   {3300.7e6, -70.0, 0.0},
                          {2400.3e6, -70.0, 0.0}, {98.7e6, -40.0, 10.0},   {20e6, -10.0, 10.0},
                          {3e6, -50.0, 10.0},     {140e6, -70.0, 0.0}};
    for (const Case& c : cases) {
        Row row{"wide"};
        row.startHz = 0.0;
        row.stopHz = 4.4e9;
        row.freqHz = c.freq;
        row.levelDbm = c.level;
        row.attenDb = c.atten;
        row.refLevelDbm = c.atten - 10.0;
        row.tcxoPpb = 1200.0;
        row.levelToleranceDb = 2.0;
        rows.push_back(row);
    }
}

// AM zero span of a carrier: a flat line at its level, in every clock mode,
// decimated or not, and from a lowered reference level.
void AddZeroSpanRows(std::vector<Row>& rows) {
    struct Case {
        double freq, level, ref, sweepTimeSec;
        int mode;
    };
    const Case cases[] = {{915e6, -30.0, 0.0, 0.01, 0},      {915e6, -30.0, 0.0, 2.0, 0},
                          {100e6, -60.0, -40.0, 0.5, 0},     {3e6, -30.0, 0.0, 0.01, 0},
                          {653.3e6, -30.0, 0.0, 0.0674, 1},  {630.05e6, -30.0, 0.0, 0.1348, 2},
                          {630.05e6, -30.0, 0.0, 0.0674, 2}, {630.05e6, -30.0, 0.0, 0.0337, 2}};
    for (const Case& c : cases) {
        Row row{"AM zero span"};
        row.startHz = row.stopHz = row.freqHz = c.freq;
        row.levelDbm = c.level;
        row.refLevelDbm = c.ref;
        row.sweepTimeSec = c.sweepTimeSec;
        row.clockMode = c.mode;
        row.tcxoPpb = 1200.0;
        rows.push_back(row);
    }
}

std::vector<Row> AllRows() {
    std::vector<Row> rows;
    AddFftRows(rows);
    AddStepRows(rows);
    AddWideRows(rows);
    AddZeroSpanRows(rows);
    // The linear scale: the first emitter of each kind again, read in mV.
    for (const char* kind :
         {"FFT levels", "narrow FFT, streamed", "step", "wide", "AM zero span"}) {
        Row row = *std::ranges::find(rows, kind, &Row::kind);
        row.kind += ", LIN";
        row.linear = true;
        rows.push_back(row);
    }
    return rows;
}

class AccuracyTableTest : public test::VirtualUnitTest {
  protected:
    // Units that differ only in their emitter share a calibration table: each
    // reference error is a unit of its own serial, read once.
    void Measure(const Row& row) {
        sim::Scene scene = sim::DefaultScene();
        scene.signals = {Cw(row.freqHz, row.levelDbm)};
        scene.tcxoPpb = row.tcxoPpb;
        scene.serial = "TV" + std::to_string(static_cast<int>(row.tcxoPpb));
        keepCalibrationCache = true;
        Start(scene);
        doc->SetFrequencies(row.startHz, row.stopHz);
        Edit([&](InstrumentState& s) {
            s.refLevelDbm = row.refLevelDbm;
            s.attenDb = row.attenDb;
            s.imageReject = row.imageReject ? 1 : 0;
            s.zeroSpanFm = 0;
            s.sweepTimeSec = row.sweepTimeSec;
            s.linearScale = row.linear ? 1 : 0;
        });
        Sweep();
        MarkerCommands(*doc).Peak();
    }
};

TEST_F(AccuracyTableTest, PeakReadsEachKindsEmitterAtItsFrequencyAndLevel) {
    for (const Row& row : AllRows()) {
        Measure(row);
        const MarkerState marker = test::MarkersOf(*doc);
        const double span = row.stopHz - row.startHz;
        const double freqTolerance = std::max(span / 640.0, doc->Settings().rbwHz);
        const std::string what = row.kind + " at " + std::to_string(row.freqHz) + " Hz, " +
                                 std::to_string(row.levelDbm) + " dBm, ref " +
                                 std::to_string(row.refLevelDbm) +
                                 (row.imageReject ? "" : ", no image rejection");
        SCOPED_TRACE(what);
        // In LIN the level is the emitter's voltage into 50 ohms, its
        // tolerance the voltage step of the kind's tolerance in dB.
        const double level = row.linear ? DbmToMillivolts(row.levelDbm) : row.levelDbm;
        const double tolerance = row.linear
                                     ? DbmToMillivolts(row.levelDbm + row.levelToleranceDb) - level
                                     : row.levelToleranceDb;
        EXPECT_NEAR(marker.marker1Level, level, tolerance);
        if (span > 0.0) {
            EXPECT_NEAR(marker.marker1Pos, row.freqHz, freqTolerance);
        } else {
            // Every pixel is drawn from the capture: the line is flat.
            const MarkerScale scale = MarkerScale::From(doc->Settings());
            EXPECT_NEAR(scale.LevelOfRow(MaxRow()), level, tolerance);
        }
        if (row.clockMode >= 0) {
            EXPECT_EQ(doc->engine.clockMode, row.clockMode);
        }
        if (row.counterToleranceHz > 0.0) {
            EXPECT_NEAR(doc->Settings().counterFreqHz, row.freqHz, row.counterToleranceHz);
        }
        EXPECT_EQ(Boxes(), "");
        if (std::getenv("TAVLIN_PRINT_ACCURACY") != nullptr) {
            std::printf("%s | %.0f | %.1f | %+.0f Hz | %+.2f %s\n", row.kind.c_str(), row.freqHz,
                        row.levelDbm, marker.marker1Pos - row.freqHz, marker.marker1Level - level,
                        row.linear ? "mV" : "dB");
        }
    }
}

}  // namespace
}  // namespace tavlin
