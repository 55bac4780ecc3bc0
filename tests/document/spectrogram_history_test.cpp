// The waterfall's history: lines in dBm that outlive a change of scale but
// not a change of band, and an emitter that appears showing from its sweep.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "document/spectrogram_history.h"
#include "e2e/virtual_unit_fixture.h"
#include "ports/clock.h"

namespace tavlin {
namespace {

MarkerScale Scale(double startHz, double stopHz) {
    MarkerScale scale;
    scale.startHz = startHz;
    scale.stopHz = stopHz;
    scale.refLevelDbm = -10.0;
    scale.dbPerDiv = 10.0;
    return scale;
}

TraceRows Rows(double row) {
    TraceRows rows;
    rows.fill(row);
    return rows;
}

TEST(SpectrogramHistory, KeepsLinesThroughAScaleChangeAndStartsAfreshOnAnotherBand) {
    struct Case {
        const char* name;
        void (*change)(MarkerScale&);
        bool kept;
        double stopHz = 901e6;
    };
    const std::vector<Case> cases = {
        {"reference level", [](MarkerScale& s) { s.refLevelDbm = -40.0; }, true},
        {"dB/div", [](MarkerScale& s) { s.dbPerDiv = 2.0; }, true},
        {"stop a twentieth of a pixel up", [](MarkerScale& s) { s.stopHz += 50.0; }, true},
        {"start a pixel up", [](MarkerScale& s) { s.startHz += 1562.5; }, false},
        {"stop moved", [](MarkerScale& s) { s.stopHz = 902e6; }, false},
        {"zero span", [](MarkerScale& s) { s.stopHz = s.startHz; }, false},
        {"converter offset", [](MarkerScale& s) { s.freqOffsetHz = 1e9; }, false},
        {"sweep time", [](MarkerScale& s) { s.sweepTimeSec = 0.5; }, true},
        {"sweep time in zero span", [](MarkerScale& s) { s.sweepTimeSec = 0.5; }, false, 900e6},
    };
    for (const Case& c : cases) {
        SpectrogramHistory history;
        MarkerScale scale = Scale(900e6, c.stopHz);
        ASSERT_TRUE(history.Append({1.0, 0.0}, scale, Rows(100.0)));
        c.change(scale);
        ASSERT_TRUE(history.Append({2.0, 0.0}, scale, Rows(100.0)));
        EXPECT_EQ(history.Size(), c.kept ? 2u : 1u) << c.name;
        EXPECT_EQ(history.Generation(), c.kept ? 0u : 1u) << c.name;
        EXPECT_EQ(history.Line(0).seq, 2u) << c.name;
    }
}

// Levels, not rows: the linear scale's millivolts come back as dBm, and the
// FM detector's deviation is no level at all.
TEST(SpectrogramHistory, StoresLevelsInDbmWhateverTheScale) {
    SpectrogramHistory history;
    MarkerScale scale = Scale(900e6, 901e6);
    history.Append({1.0, 0.0}, scale, Rows(100.0));
    EXPECT_FLOAT_EQ(history.Line(0).levelsDbm[0], -30.0f);
    scale.linearScale = true;
    history.Append({2.0, 0.0}, scale, Rows(250.0));  // half the reference's voltage
    EXPECT_NEAR(history.Line(0).levelsDbm[0], -10.0 - 20.0 * std::log10(2.0), 1e-4);
    history.Append({3.0, 0.0}, scale, Rows(500.0));
    EXPECT_EQ(history.Line(0).levelsDbm[0], SpectrogramHistory::kFloorDbm);
    MarkerScale fm = Scale(900e6, 900e6);
    fm.zeroSpanFm = true;
    EXPECT_FALSE(history.Append({4.0, 0.0}, fm, Rows(100.0)));
    EXPECT_EQ(history.Size(), 3u);
}

TEST(SpectrogramHistory, TheRingDropsTheOldestAndSequenceNumbersRunOn) {
    SpectrogramHistory history;
    const std::size_t total = SpectrogramHistory::kDefaultCapacity + 3;
    for (std::size_t i = 1; i <= total; ++i) {
        history.Append({static_cast<double>(i), 0.0}, Scale(1e6, 2e6), Rows(0.0));
    }
    ASSERT_EQ(history.Size(), SpectrogramHistory::kDefaultCapacity);
    EXPECT_EQ(history.Line(0).seq, total);
    EXPECT_EQ(history.Line(history.Size() - 1).seq, 4u);
    std::vector<std::uint64_t> since;
    history.ForEachSince(total - 2, [&since](const SpectrogramLine& l) { since.push_back(l.seq); });
    EXPECT_EQ(since, (std::vector<std::uint64_t>{total - 1, total}));
}

// A new length keeps the newest lines it can hold, in order, and the ring
// runs on from them; a length out of bounds goes to the nearer bound.
TEST(SpectrogramHistory, ANewLengthKeepsTheNewestLines) {
    struct Case {
        std::size_t lines;
        std::size_t capacity;
    };
    for (const Case c : {Case{60, 60}, Case{700, 700}, Case{3, SpectrogramHistory::kMinCapacity},
                         Case{50000, SpectrogramHistory::kMaxCapacity}}) {
        SpectrogramHistory history;
        for (int i = 1; i <= 100; ++i) {
            history.Append({static_cast<double>(i), 0.0}, Scale(1e6, 2e6), Rows(0.0));
        }
        history.SetCapacity(c.lines);
        ASSERT_EQ(history.Capacity(), c.capacity) << c.lines;
        const std::size_t kept = std::min<std::size_t>(100, c.capacity);
        ASSERT_EQ(history.Size(), kept) << c.lines;
        EXPECT_EQ(history.Line(kept - 1).seq, 101 - kept) << c.lines;
        history.Append({101.0, 0.0}, Scale(1e6, 2e6), Rows(0.0));
        EXPECT_EQ(history.Line(0).seq, 101u) << c.lines;
        EXPECT_EQ(history.Line(1).seq, 100u) << c.lines;
        EXPECT_EQ(history.Line(history.Size() - 1).seq, 102 - history.Size()) << c.lines;
        EXPECT_EQ(history.Generation(), 0u) << c.lines;
    }
}

// Through the document and the virtual unit: a generator switched on after
// three sweeps shows from the fourth line on, at its level in dBm however
// the reference level is set; the spectrogram turned off starts afresh (a
// new band is the history's own rule). A sweep log is handed the same
// levels with the same UTC time, and the band at the converter's input.
class SpectrogramSweepTest : public test::VirtualUnitTest {};

TEST_F(SpectrogramSweepTest, AnEmitterShowsFromTheSweepItAppearedIn) {
    Start(std::vector<sim::SceneEmitter>{});
    doc->SetSpectrogramOn(true);
    doc->SetCenterSpan(433.92e6, 200e3);
    Edit([](InstrumentState& s) { s.freqOffsetHz = 1e9; });
    std::vector<SweepRecord> records;
    doc->SetSweepRecordSink([&records](const SweepRecord& r) { records.push_back(r); });
    for (int sweep = 0; sweep < 6; ++sweep) {
        if (sweep == 3) {
            unit->SetBenchSignal(Cw(433.92e6, -40.0));
        }
        if (sweep == 5) {
            Edit([](InstrumentState& s) { s.refLevelDbm = -20.0; });
        }
        Sweep();
    }
    const auto peakNearCentre = [](const SpectrogramLine& line) {
        return *std::max_element(line.levelsDbm.begin() + 310, line.levelsDbm.begin() + 331);
    };
    const SpectrogramHistory h =
        doc->ReadSpectrogram([](const SpectrogramHistory& history) { return history; });
    ASSERT_EQ(h.Size(), 6u);
    for (std::size_t age = 0; age < 6; ++age) {
        const double peak = peakNearCentre(h.Line(age));
        if (age < 3) {
            EXPECT_NEAR(peak, -40.0, 1.5) << "line " << age;
        } else {
            EXPECT_LT(peak, -70.0) << "line " << age;
        }
    }
    EXPECT_GT(h.Line(0).endSec, h.Line(5).endSec);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records.back().levelsDbm, h.Line(0).levelsDbm);
    EXPECT_EQ(records.back().utcSec, h.Line(0).utcSec);
    EXPECT_NEAR(records.back().utcSec, SteadyClock().UtcSeconds(), 60.0);
    EXPECT_EQ(records.back().startHz, 1433.82e6);
    doc->SetSweepRecordSink({});
    doc->SetSpectrogramOn(false);
    Sweep();
    EXPECT_EQ(doc->ReadSpectrogram([](const SpectrogramHistory& h) { return h.Size(); }), 0u);
    EXPECT_EQ(records.size(), 6u);
}

}  // namespace
}  // namespace tavlin
