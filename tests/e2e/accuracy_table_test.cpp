// End-to-end accuracy: one CW emitter of the virtual instrument's scene,
// measured by each sweep kind and read with PEAK as a user reads it (a zero
// span line at its mean). The virtual unit has a response of its own (smooth
// gain curves, IF filters with skirts, attenuator steps and gain steps a few
// tenths off their nominal values) and its factory table is a rounded
// measurement of it, so the table measures the program's correction. Each
// row's tolerance is what the instrument honestly gives for it (ToleranceDb:
// a base per kind and a count of each coarse table field the reading rests
// on); the program reads every row within half of it, so a correction a
// tenth of a dB off either way fails rows. The FFT kinds put the peak within
// a tenth of the RBW of the trace point nearest the emitter, and the FFT
// sweep counts it within 1 Hz.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "document/marker_commands.h"
#include "document/marker_scale.h"
#include "e2e/virtual_unit_fixture.h"
#include "sim/true_response.h"

namespace tavlin {
namespace {

using test::kNear630Hz;
using test::kNear653Hz;

// The receiver settings a row is read with: the attenuator, the gain state
// the level plan is to choose, the preamplifier, and whether the unit has one.
struct Setting {
    double attenDb;
    int gainMode;
    bool preampOn = false;
    bool plainUnit = false;  // a unit without a preamplifier
};

// Every attenuator step meets every gain state, with the preamplifier on,
// off and not fitted; rows take them in turn.
const Setting kSettings[] = {{0, 0},
                             {5, 1},
                             {10, 2},
                             {15, 0},
                             {0, 1, true},
                             {5, 2, true},
                             {10, 0, true},
                             {15, 1, true},
                             {0, 2},
                             {5, 0},
                             {10, 1},
                             {15, 2},
                             {0, 0, true},
                             {10, 1, false, true},
                             {5, 2, false, true},
                             {15, 0, false, true},
                             {10, 2, true},
                             {5, 1, true}};
constexpr std::size_t kSettingCount = std::size(kSettings);

enum class Kind { Fft, Narrow, Step, Wide, ZeroSpan };

struct Row {
    Kind kind;
    std::string name;
    double startHz = 0.0;
    double stopHz = 0.0;  // equal to start: AM zero span over sweepTimeSec
    double freqHz = 0.0;
    Setting setting{10, -1};  // gain state -1: the wide sweep's own
    double belowRefDb = 6.0;  // the emitter's level under the reference level
    bool imageReject = true;
    double tcxoPpb = 1200.0;
    int clockMode = -1;  // -1: not checked
    double sweepTimeSec = 0.01;
    bool linear = false;        // LIN: the marker reads mV
    double switchSideDb = 0.0;  // the reference level moved towards a gain-state switch
};

// The unit a row is read on: each reference error and kind of unit is a unit
// of its own serial, whose calibration table the rows share.
sim::Scene UnitFor(const Row& row) {
    sim::Scene scene = sim::DefaultScene();
    scene.tcxoPpb = row.tcxoPpb;
    scene.firmware = row.setting.plainUnit ? "Tavlin 1.50" : "Tavlin 2.03";
    scene.serial = std::string(row.setting.plainUnit ? "TP" : "TV") +
                   std::to_string(static_cast<int>(row.tcxoPpb));
    return scene;
}

// Nine tenths of the way across the steepest step of a band's table (points
// 1 MHz apart below 150 MHz, 10 MHz above) within a range, for the unit's own
// response: where a table read without interpolation, or a point off, is
// furthest from it.
double SteepestStep(const Row& row, double fromHz, double toHz) {
    const bool high = fromHz >= 150e6;
    const double step = high ? 10e6 : 1e6;
    const sim::TrueResponse truth = sim::TrueResponse::Of(UnitFor(row));
    const sim::LevelSettings s{static_cast<int>(row.setting.attenDb / 5), 1, true, false, high};
    double best = fromHz;
    double steepest = 0.0;
    for (double hz = fromHz; hz + step <= toHz; hz += step) {
        const double change =
            std::abs(truth.CorrectionDb(hz + step, s) - truth.CorrectionDb(hz, s));
        if (change > steepest) {
            steepest = change;
            best = hz + 0.9 * step;
        }
    }
    return best;
}

// What a reading can honestly be off by, from its causes. A base per kind:
// 0.1 dB for the FFT kinds and zero span (the IF tables' hundredths, the
// droop between its points, the window between bins, a span's slope read
// with the correction at its centre), 0.2 dB for the step
// sweep (a carrier between bins on the IF skirt) and 0.5 dB for the wide
// sweep (the detector's 0.13 dB counts and its flat correction, for carriers
// at least 20 dB above its floor). On top, a count of each coarse table field
// the reading rests on: half a count of rounding at its points and about as
// much again of the unit's own curve between them. These are the flatness
// entries (1/32 dB in the low band, 1/16 dB in the high band, which a step
// sweep may take from 100 MHz up) and the preamplifier's 0.1 dB counts; in
// gain states 0 and 2 the steps, measured at 150 MHz only (0.025 dB drift)
// in 0.02 dB counts, or on a unit without a preamplifier not measured at all
// (0.05 dB, its kind's spread about the fixed steps it is read with).
double ToleranceDb(const Row& row) {
    const double base[] = {0.1, 0.1, 0.2, 0.5, 0.1};
    double db = base[static_cast<int>(row.kind)];
    if (row.kind == Kind::Wide) {
        return db;
    }
    const bool highTable = row.freqHz >= (row.kind == Kind::Step ? 100e6 : 150e6);
    db += highTable ? 1.0 / 16.0 : 1.0 / 32.0;
    if (row.setting.preampOn) {
        db += 0.1;
    }
    if (row.setting.gainMode == 0 || row.setting.gainMode == 2) {
        db += 0.025 + (row.setting.plainUnit ? 0.05 : 0.02);
    }
    return db;
}

// A row read in dB and again in mV.
void AddInBothScales(std::vector<Row>& rows, Row row) {
    rows.push_back(row);
    row.name += ", LIN";
    row.linear = true;
    rows.push_back(row);
}

// Where levels once went wrong. A narrow sweep's pixel holds 0.7 to 1 bin,
// so a carrier a bin from the bins a pixel shows reads 0.3 dB low: carriers
// at several fractions of a bin (0.23 Hz at 100 Hz span, 0.1 Hz below 20 Hz).
// A unit whose reference is 20 to 32 ppm off must still find its carrier in
// the flat part of the decimating filter at the top of the band. Below 1 MHz
// the preamplifier's gain rolls off by table entries 50 kHz apart.
void AddFaultRows(std::vector<Row>& rows) {
    for (const double offsetHz : {0.0, 0.08, 0.17}) {
        Row row{Kind::Narrow,
                "narrow FFT, a fraction of a bin off",
                915e6 - 50.0,
                915e6 + 50.0,
                915e6 + 20.0 + offsetHz,
                {10, 1}};
        AddInBothScales(rows, row);
    }
    Row fine{Kind::Narrow, "narrow FFT, 10 Hz span", 2400e6 - 5.0, 2400e6 + 5.0, 2400e6 + 1.04,
             {5, 2, true}};
    rows.push_back(fine);
    for (const double ppb : {20000.0, 25000.0, 30000.0, -30000.0}) {
        Row row{Kind::Narrow, "narrow FFT at 4.3 GHz, reference far off",
                4.3e9 - 50.0, 4.3e9 + 50.0,
                4.3e9 + 7.3,  {10, 1}};
        row.tcxoPpb = ppb;
        AddInBothScales(rows, row);
    }
    Row fft{Kind::Fft, "FFT at 4.3 GHz, reference far off", 4.3e9 - 5e3, 4.3e9 + 5e3, 4.3e9 + 1e3,
            {10, 1}};
    fft.tcxoPpb = 30000.0;
    rows.push_back(fft);
    // Weak carriers with the reference level 1.5 dB inside each gain state's
    // window, next to where the level plan switches (5 and 17 dB below the
    // level of full scale): each state's step read where it is chosen.
    for (const auto& [gainMode, side] : {std::pair{0, -6.5}, {1, 4.5}, {1, -4.5}, {2, 4.5}}) {
        Row row{Kind::Fft,    "FFT, weak carrier by a gain-state switch",
                2401e6 - 5e3, 2401e6 + 5e3,
                2401e6 - 1e3, {0, gainMode},
                35.0};
        row.switchSideDb = side;
        rows.push_back(row);
        row.setting.plainUnit = true;
        rows.push_back(row);
    }
    for (const double hz : {340e3, 480e3, 590e3, 840e3}) {
        Row row{Kind::Fft,  "FFT with the preamplifier below 1 MHz",
                hz - 5e3,   hz + 5e3,
                hz + 625.0, {10, 1, true}};
        AddInBothScales(rows, row);
    }
}

// FFT spans: the emitter at the IF centre and about 100 kHz either side (a
// 200 kHz span, the emitter's IF half way between two points of the IF
// response on the filter's skirts; 50 kHz in clock modes 1 and 2, which serve
// spans up to 100 kHz), off centre in 10 kHz and 1 kHz spans; on both band
// routes (100 to 200 MHz included), near DC, at the top of the band and on
// the steepest ripple of each band; image suppression through the 2.9 MHz IF
// (reference level up to 5 dBm), through the first IF (above) and off.
void AddFftRows(std::vector<Row>& rows) {
    const struct {
        const char* where;
        double hz;
        int mode;
    } centres[] = {{"915 MHz", 915e6, 0},
                   {"100 MHz", 100e6, 0},
                   {"27.7 MHz", 27.7e6, 0},
                   {"near 630 MHz", kNear630Hz, 2},
                   {"near 653.3 MHz", kNear653Hz, 1},
                   {"145.6 MHz", 145.6e6, 0},
                   {"163.5 MHz", 163.5e6, 0},
                   {"near DC", 3e6, 0},
                   {"4.3 GHz", 4304.5e6, 0}};
    std::size_t next = 0;
    for (const auto& c : centres) {
        const double wide = c.mode == 0 ? 200e3 : 100e3;
        const int below = c.mode == 0 ? -314 : -319;
        const int above = c.mode == 0 ? 310 : 319;
        for (const auto& [span, pixels] :
             {std::pair{wide, below}, {wide, 0}, {wide, above}, {10e3, 88}, {1e3, -117}}) {
            Row row{Kind::Fft, std::string("FFT ") + c.where};
            row.startHz = c.hz - span / 2;
            row.stopHz = c.hz + span / 2;
            row.freqHz = c.hz + pixels * span / 640.0;
            row.setting = kSettings[next++ % kSettingCount];
            row.clockMode = c.mode;
            row.tcxoPpb = next % 3 == 0 ? -800.0 : 1200.0;
            if (c.hz > 4e9 && row.setting.gainMode == 0) {
                row.setting.gainMode = 1;  // the top of the band has no room for it
            }
            row.imageReject = next % 7 != 0;
            rows.push_back(row);
        }
    }
    for (const auto& [from, to] : {std::pair{20e6, 145e6}, {200e6, 4000e6}}) {
        Row row{Kind::Fft, "FFT on the steepest ripple"};
        row.setting = {10, 1};
        const double centre = SteepestStep(row, from, to);
        row.startHz = centre - 5e3;
        row.stopHz = centre + 5e3;
        row.freqHz = centre + 1375.0;
        rows.push_back(row);
    }
    // 200 kHz spans (decimation 1) on the slopes of the unit's 8 MHz ripple:
    // a span is corrected at its centre, so its edges read some 0.05 dB up
    // at one edge and down at the other.
    for (const double centre : {65.8e6, 136.1e6}) {
        for (const double offset : {-98125.0, 96875.0}) {
            AddInBothScales(rows, Row{Kind::Fft, "FFT at a span's edge on a slope", centre - 100e3,
                                      centre + 100e3, centre + offset, Setting{10, 1}});
        }
    }
    // Weak and strong emitters: -80 dBm with the preamplifier, 0 dBm behind 15 dB.
    for (const auto& [hz, setting, below] : {std::tuple{915e6, Setting{0, 2, true}, 33.0},
                                             {100e6, Setting{0, 2, true}, 30.0},
                                             {915e6, Setting{15, 0}, 3.0},
                                             {100e6, Setting{15, 0}, 9.0}}) {
        Row row{Kind::Fft, "FFT levels", hz - 5e3, hz + 5e3, hz - 3125.0, setting, below};
        rows.push_back(row);
    }
    for (const auto& [centre, mode, setting] : {std::tuple{915e6, 0, Setting{10, 1}},
                                                {kNear653Hz, 1, Setting{5, 2, true}},
                                                {100e6, 0, Setting{0, 0}},
                                                {kNear630Hz, 2, Setting{15, 1}}}) {
        Row row{Kind::Narrow, "narrow FFT", centre - 50.0, centre + 50.0, centre + 13.75, setting};
        row.clockMode = mode;
        rows.push_back(row);
    }
    // A span of a few hertz (RBW 0.1 Hz) on a unit whose reference is 30 ppm
    // off: the LO then misses by about 30 kHz, and the shift that takes that
    // out must be reckoned at the true sample rate.
    Row narrowest{Kind::Narrow, "narrow FFT, 5 Hz span, 30 ppm", 1e9 - 0.5, 1e9 + 4.5, 1e9 + 2.0};
    narrowest.setting = {10, 1};
    narrowest.tcxoPpb = 30000.0;
    rows.push_back(narrowest);
    AddFaultRows(rows);
}

// Step sweeps: spots off the step grid, wide spans of one point per step
// (off the grid by every amount), both routes between 100 and 200 MHz and
// across the band split, below 16 MHz and from 0 Hz.
void AddStepRows(std::vector<Row>& rows) {
    const struct {
        double start, stop, freq;
    } cases[] = {
        {914.5e6, 915.5e6, 915.0137e6},
        {914.5e6, 915.5e6, 915.2e6},
        {902e6, 928e6, 903.3e6},
        {902e6, 928e6, 920.1e6},
        {902e6, 928e6, 915.0531e6},
        {850e6, 950e6, 915e6},
        {850e6, 950e6, 915.041e6},
        {850e6, 950e6, 915.099e6},
        {850e6, 950e6, 915.133e6},
        {850e6, 950e6, 901.1e6},
        {100e6, 200e6, 139.6e6},
        {100e6, 200e6, 147.1e6},
        {100e6, 200e6, 150.4e6},
        {100e6, 200e6, 155.55e6},
        {100e6, 200e6, 187.3e6},
        {140e6, 180e6, 145.3e6},
        {140e6, 180e6, 158.3e6},
        {140e6, 160e6, 152.1e6},
        {1e6, 11e6, 5.3e6},
        {0.0, 1e6, 0.3e6},
        {0.0, 200e6, 77.7e6},
        {10e6, 30e6, 15.9e6},
        {2390e6, 2410e6, 2400.3e6},
        {4300e6, 4390e6, 4387e6},
        // 100 and 50 kHz RBW: a carrier on the 200 kHz step grid sits on
        // the IF filter's skirt of both its steps, between bins.
        {968.7e6, 1008.7e6, 1000.18e6},
        {2390e6, 2410e6, 2400e6},
        {2397.5e6, 2402.5e6, 2400.06e6},
    };
    AddInBothScales(rows, Row{Kind::Step, "step, on the grid", 968.7e6, 1008.7e6, 1000e6, {10, 1}});
    AddInBothScales(rows,
                    Row{Kind::Step, "step, on the grid", 97.5e6, 102.5e6, 100e6, {5, 2, true}});
    std::size_t next = 5;
    for (const auto& c : cases) {
        Row row{Kind::Step, "step", c.start, c.stop, c.freq, kSettings[next++ % kSettingCount]};
        if (c.freq > 4e9 && row.setting.gainMode == 0) {
            row.setting.gainMode = 1;
        }
        // Below 1 MHz the preamplifier's gain falls away: its correction
        // lifts the sampler's own noise there far above any signal.
        row.setting.preampOn = row.setting.preampOn && c.start >= 1e6;
        rows.push_back(row);
    }
}

// Full span: strong signals through the look again, weak ones from the
// detector 20 dB above its own floor (-80 dBm behind the attenuator, which
// would add 0.4 dB to a carrier 10 dB above it), and the step list below the
// split. The wide sweep runs in gain state 0.
void AddWideRows(std::vector<Row>& rows) {
    const struct {
        double freq, level, atten;
    } cases[] = {{915e6, -30.0, 10.0},   {2400.3e6, -10.0, 15.0}, {4387e6, -40.0, 10.0},
                 {151e6, -40.0, 5.0},    {1200e6, -50.0, 10.0},   {3300.7e6, -60.0, 0.0},
                 {2400.3e6, -60.0, 0.0}, {98.7e6, -40.0, 10.0},   {20e6, -10.0, 15.0},
                 {3e6, -50.0, 10.0},     {140e6, -60.0, 0.0},     {133.1e6, -30.0, 10.0}};
    for (const auto& c : cases) {
        Row row{Kind::Wide, "wide", 0.0, 4.4e9, c.freq, {c.atten, -1}, c.atten - 10.0 - c.level};
        rows.push_back(row);
    }
}

// AM zero span of a carrier: a flat line at its level, in every clock mode,
// on both routes, decimated or not.
void AddZeroSpanRows(std::vector<Row>& rows) {
    const struct {
        double freq, sweepTimeSec;
        int mode;
    } cases[] = {{915e6, 0.01, 0},      {915e6, 2.0, 0},       {100e6, 0.5, 0},
                 {3e6, 0.01, 0},        {653.3e6, 0.0674, 1},  {630.05e6, 0.1348, 2},
                 {630.05e6, 0.0674, 2}, {630.05e6, 0.0337, 2}, {160e6, 0.3, 0},
                 {145e6, 0.01, 0},      {2400e6, 0.05, 0},     {27.3e6, 1.0, 0}};
    std::size_t next = 2;
    for (const auto& c : cases) {
        Row row{Kind::ZeroSpan, "AM zero span", c.freq,
                c.freq,         c.freq,         kSettings[next++ % kSettingCount]};
        row.sweepTimeSec = c.sweepTimeSec;
        row.clockMode = c.mode;
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
    for (const Kind kind : {Kind::Fft, Kind::Narrow, Kind::Step, Kind::Wide, Kind::ZeroSpan}) {
        Row row = *std::ranges::find(rows, kind, &Row::kind);
        row.name += ", LIN";
        row.linear = true;
        rows.push_back(row);
    }
    return rows;
}

class AccuracyTableTest : public test::VirtualUnitTest {
  protected:
    // The reference level an engineer sets for the gain state the row wants:
    // in the middle of that state's window of the level plan, whole dB, and
    // low enough to keep the attenuator the row chose.
    static double ReferenceFor(const sim::Scene& scene, const Row& row) {
        const double a = row.setting.attenDb;
        if (row.setting.gainMode < 0) {
            return a - 10.0;
        }
        const double centre = (row.startHz + row.stopHz) / 2.0;
        const bool highBand = centre >= 150e6;
        const sim::LevelSettings normal{static_cast<int>(a / 5), 1, scene.PreampFitted(),
                                        row.setting.preampOn, highBand};
        const double c = sim::TrueResponse::Of(scene).CorrectionDb(centre, normal);
        const double margin[] = {3.0, -11.0, -23.0};
        return std::min(std::round(a + c + margin[row.setting.gainMode] + row.switchSideDb),
                        highBand ? a : a - 5.0);
    }

    double Measure(const Row& row) {
        sim::Scene scene = UnitFor(row);
        const double ref = ReferenceFor(scene, row);
        const double level = ref - row.belowRefDb;
        scene.signals = {Cw(row.freqHz, level)};
        keepCalibrationCache = true;
        Start(scene);
        doc->SetFrequencies(row.startHz, row.stopHz);
        Edit([&](InstrumentState& s) {
            s.refLevelDbm = ref;
            s.attenDb = row.setting.attenDb;
            s.preampOn = row.setting.preampOn;
            s.imageReject = row.imageReject ? 1 : 0;
            s.zeroSpanFm = 0;
            s.sweepTimeSec = row.sweepTimeSec;
            s.linearScale = row.linear ? 1 : 0;
        });
        test::WithInstrument(
            *doc, [&row](InstrumentLease& i) { i.Link().SetPreamp(row.setting.preampOn); });
        Sweep();
        MarkerCommands(*doc).Peak();
        return level;
    }
};

TEST_F(AccuracyTableTest, PeakReadsEachKindsEmitterAtItsFrequencyAndLevel) {
    for (const Row& row : AllRows()) {
        const double levelDbm = Measure(row);
        const MarkerState marker = test::MarkersOf(*doc);
        const InstrumentState& s = doc->Settings();
        const double span = row.stopHz - row.startHz;
        // The FFT kinds within a tenth of the RBW of the trace point nearest
        // the emitter; the stepped kinds within a point or an RBW.
        const bool fftKind = row.kind == Kind::Fft || row.kind == Kind::Narrow;
        const double freqTolerance =
            fftKind ? s.rbwHz / 10.0 + span / 640.0 : std::max(span / 640.0, s.rbwHz);
        const std::string what =
            row.name + " at " + std::to_string(row.freqHz) + " Hz, " + std::to_string(levelDbm) +
            " dBm, ref " + std::to_string(s.refLevelDbm) + ", " +
            std::to_string(row.setting.attenDb) + " dB, gain state " + std::to_string(s.gainMode) +
            (row.setting.preampOn ? ", preamp" : "") +
            (row.setting.plainUnit ? ", no preamp fitted" : "") +
            (row.imageReject ? "" : ", no image rejection");
        SCOPED_TRACE(what);
        // In LIN the level is the emitter's voltage into 50 ohms, its
        // tolerance the voltage step of the row's tolerance in dB.
        const double toleranceDb = ToleranceDb(row);
        const double level = row.linear ? DbmToMillivolts(levelDbm) : levelDbm;
        const double tolerance =
            row.linear ? DbmToMillivolts(levelDbm + toleranceDb) - level : toleranceDb;
        double reading = marker.marker1Level;
        if (span > 0.0) {
            EXPECT_NEAR(marker.marker1Pos, row.freqHz, freqTolerance);
        } else {
            // Zero span has no video averaging: its line is read at its mean
            // over the sweep, as an engineer reads a noisy line, and every
            // pixel, drawn from the capture, lies within the tolerance too.
            const auto line = Rows();
            const MarkerScale scale = MarkerScale::From(s);
            reading = scale.LevelOfRow(std::accumulate(line.begin(), line.end(), 0.0) /
                                       static_cast<double>(line.size()));
            EXPECT_NEAR(scale.LevelOfRow(MaxRow()), level, tolerance);
            EXPECT_NEAR(marker.marker1Level, level, tolerance);
        }
        EXPECT_NEAR(reading, level, tolerance);
        if (row.kind == Kind::Fft) {
            EXPECT_NEAR(s.counterFreqHz, row.freqHz, 1.0);
            EXPECT_EQ(s.counterFlag, ReadingFlag::kNone);
        }
        if (row.clockMode >= 0) {
            EXPECT_EQ(
                test::WithInstrument(*doc, [](InstrumentLease& i) { return i.Plan().clockMode; }),
                row.clockMode);
        }
        if (row.setting.gainMode >= 0) {
            EXPECT_EQ(s.gainMode, row.setting.gainMode);
        }
        EXPECT_EQ(s.attenDb, row.setting.attenDb);
        EXPECT_EQ(Boxes(), "");
    }
}

// A blank unit's memory holds no measurement of it, so before the factory
// adjustments the program reads it by the erased table: far from the truth,
// and wrong by the size of the unit's own response (two units whose gains
// differ by 6 dB read 6 dB apart). The erased level words put the gain
// states' windows some 50 dB up, where the reference level follows them; its
// reference error word (32767 ppb) puts the emitter 30 kHz off.
TEST_F(AccuracyTableTest, BlankUnitIsReadWrongByItsOwnResponse) {
    double reading[2] = {};
    for (const int unit : {0, 1}) {
        sim::Scene scene = sim::DefaultScene();
        scene.serial = "TVB" + std::to_string(unit);
        scene.calibration = sim::SceneCalibration::Blank;
        scene.response.highBandGainDb = {{0.0, unit == 0 ? 8.0 : 2.0}};
        scene.signals = {Cw(915e6, -30.0)};
        Start(scene);
        doc->SetFrequencies(915e6 - 100e3, 915e6 + 100e3);
        Edit([](InstrumentState& s) {
            s.refLevelDbm = 63.0;
            s.attenDb = 15.0;
        });
        Sweep();
        MarkerCommands(*doc).Peak();
        reading[unit] = test::MarkersOf(*doc).marker1Level;
        EXPECT_GT(reading[unit] + 30.0, 20.0) << "unit " << unit;
        EXPECT_EQ(doc->Settings().gainMode, 1);
    }
    EXPECT_NEAR(reading[0] - reading[1], 6.0, 0.2);
}

}  // namespace
}  // namespace tavlin
