// What the screen shows of a sweep once the settings have moved on: traces
// at their own frequencies and levels, or nothing; readings flagged stale,
// never labelled with a unit or a band they were not measured in.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "document/level_rows.h"
#include "document/marker_commands.h"
#include "e2e/virtual_unit_fixture.h"
#include "remote/command_interpreter.h"
#include "remote/pending_reply.h"
#include "remote/scpi_session.h"
#include "support/scripted_entry_dialogs.h"
#include "view/limit_line_commands.h"
#include "view/plot_annotations.h"
#include "view/plot_snapshot.h"

namespace tavlin {
namespace {

using StaleScreenTest = test::VirtualUnitTest;

constexpr double kCarrierHz = 915.01e6;
constexpr double kCarrierDbm = -30.0;
constexpr double kBlank = std::numeric_limits<double>::quiet_NaN();

// The highest level of the rows on the screen shown, with its column; none
// when every column is a gap.
std::optional<std::pair<int, std::int32_t>> Peak(const ScreenRows& rows) {
    std::optional<std::pair<int, std::int32_t>> peak;
    for (int c = 0; c < kTracePoints; ++c) {
        if (rows[c] != kNoRow && (!peak || rows[c] < peak->second)) {
            peak = std::pair{c, rows[c]};
        }
    }
    return peak;
}

std::string AllTexts(const PlotSnapshot& snapshot) {
    const PlotAnnotations annotations(snapshot, false);
    std::string all = annotations.Readout().text;
    for (const PlotText& t : annotations.Annotations()) {
        all += "|" + t.text;
    }
    return all;
}

// Each case: a 100 kHz sweep of the carrier with the counter on and marker 1
// on its peak, then the actions; the trace named shows the carrier at its
// frequency and level (or nothing at all), and the screen shows the text.
TEST_F(StaleScreenTest, ScreenAfterTheSettingsMoveOn) {
    test::ScriptedEntryDialogs dialogs;
    const auto traceAToB = [&] {
        LimitLineCommands commands(*doc, dialogs);
        commands.OnTraceAToB();
        commands.OnViewTraceB();
    };
    const auto edit = [&](std::function<void(InstrumentState&)> change) {
        return [this, change] { Edit(change); };
    };
    const auto statePath = cacheDir / "stale.tav";
    struct Row {
        std::string name;
        std::function<void()> act;
        char trace;
        double peakHz;  // kBlank: the trace shows nothing
        std::string shows;
    };
    const std::vector<Row> rows = {
        {"REF 10 dB lower", edit([](InstrumentState& s) { s.refLevelDbm -= 10.0; }), 'A',
         kCarrierHz, "-30."},
        {"REF 10 dB lower, saved and recalled",
         [&] {
             Edit([](InstrumentState& s) { s.refLevelDbm -= 10.0; });
             doc->SaveStateFile(statePath);
             doc->LoadStateFile(statePath);
         },
         'A', kCarrierHz, ""},
        {"LIN, then log while stopped",
         [&] {
             Edit([](InstrumentState& s) { s.linearScale = 1; });
             Sweep();
             MarkerCommands(*doc).Peak();
             Edit([](InstrumentState& s) { s.linearScale = 0; });
         },
         'A', kBlank, "MKR 1: 915.010000 MHz, STALE"},
        {"FM zero span, then AM",
         [&] {
             doc->SetCenterSpan(kCarrierHz, 0.0);
             Edit([](InstrumentState& s) { s.zeroSpanFm = 1; });
             Sweep();
             MarkerCommands(*doc).Normal();
             Edit([](InstrumentState& s) { s.zeroSpanFm = 0; });
         },
         'A', kBlank, "msec, STALE"},
        {"span widened", [&] { doc->SetSpan(26e6); }, 'A', kCarrierHz, "COUNT STALE"},
        {"full span", [&] { doc->SetFrequencies(0.0, 4.4e9); }, 'A', kCarrierHz, "COUNT STALE"},
        {"trace B, CF moved", [&] { traceAToB(), doc->SetCenter(915.03e6); }, 'B', kCarrierHz, ""},
        {"trace B, PRESET", [&] { traceAToB(), doc->Preset(); }, 'B', kCarrierHz, ""},
        {"trace B saved after a CF move, recalled after another",
         [&] {
             traceAToB();
             doc->SetCenter(915.03e6);
             doc->SaveStateFile(statePath);
             doc->SetCenter(900e6);
             doc->LoadStateFile(statePath);
         },
         'B', kCarrierHz, ""},
    };
    for (const Row& row : rows) {
        Start({Cw(kCarrierHz, kCarrierDbm)});
        Edit([](InstrumentState& s) { s.counterOn = true; });
        Sweep(915e6, 100e3);
        MarkerCommands(*doc).Peak();
        row.act();
        const PlotSnapshot snapshot = TakePlotSnapshot(*doc);
        const MarkerScale shown = MarkerScale::From(snapshot.settings);
        const auto peak = Peak(row.trace == 'A' ? snapshot.traceAInt : snapshot.display.traceBRows);
        EXPECT_NE(AllTexts(snapshot).find(row.shows), std::string::npos)
            << row.name << ": " << AllTexts(snapshot);
        if (std::isnan(row.peakHz)) {
            EXPECT_FALSE(peak) << row.name;
            continue;
        }
        ASSERT_TRUE(peak) << row.name;
        EXPECT_NEAR(peak->first, shown.ColumnOfPosition(row.peakHz), 1) << row.name;
        EXPECT_NEAR(shown.LevelOfRow(peak->second), kCarrierDbm, 1.5) << row.name;
    }
}

// A marker level of another unit goes out of both servers flagged, as on
// the screen.
TEST_F(StaleScreenTest, ServersFlagAMarkerLevelOfAnotherUnit) {
    Start({Cw(kCarrierHz, kCarrierDbm)});
    Edit([](InstrumentState& s) { s.linearScale = 1; });
    Sweep(915e6, 100e3);
    MarkerCommands(*doc).Peak();
    Edit([](InstrumentState& s) { s.linearScale = 0; });
    const std::string scpi = ScpiSession(*doc).Execute("CALC:MARK:Y?;:SYST:ERR?");
    EXPECT_EQ(scpi, "9.91E+37;-230,\"Data corrupt or stale;STALE\"\n");
    PendingReply reply;
    CommandInterpreter(reply).Interpret(*doc, "MAR:AMP ?");
    EXPECT_EQ(reply.Take(), "STALE\r\n");
}

// The compression warning stays open ten seconds: the sweep time shown is
// the sweep's, not the user's.
TEST_F(StaleScreenTest, SweepTimeLeavesOutAWarningLeftOpen) {
    Start({Cw(kCarrierHz, 5.0)});
    doc->SetCenterSpan(915e6, 2e6);
    Edit([](InstrumentState& s) { s.refLevelDbm = -40.0; });
    doc->ApplyLevelPlan();
    prompter.whileShown = [this] { clock.SleepMs(10000); };
    doc->OnSingle();
    while (doc->SweepRunning()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(BoxCount("Warning: IF Level may be into compression\r\nReduce input or increase "
                       "reference level"),
              1);
    EXPECT_LT(doc->Settings().sweepTimeSec, 5.0);
}

}  // namespace
}  // namespace tavlin
