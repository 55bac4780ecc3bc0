// What the trace shows from the first sweep after start-up on, and after a
// change of frequencies under max hold and video averaging.
#include <gtest/gtest.h>

#include "document/trace_mode.h"
#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

using TraceRowsTest = test::VirtualUnitTest;

// The gain state of the first sweep is chosen against the unit's own table:
// its noise floor is the one a PRESET gives.
TEST_F(TraceRowsTest, FirstSweepAfterStartUpHasThePresetNoiseFloor) {
    Start(sim::DefaultScene());
    doc->PerformSweep();
    const double firstFloor = MedianLevel();
    doc->Preset();
    doc->PerformSweep();
    EXPECT_NEAR(firstFloor, MedianLevel(), 1.0);
}

// Rows held or averaged at other frequencies would show as ghosts of their
// signals: a new span starts max hold (still selected) and the average afresh.
TEST_F(TraceRowsTest, MaxHoldAndAverageStartAgainWhenTheSpanChanges) {
    Start(sim::DefaultScene());
    Edit([](InstrumentState& s) { s.maxHold = 1; });
    Sweep();
    SweepRange(0.0, 4.4e9);
    EXPECT_LT(LevelNear(2.2e9, 40e6), -60.0) << "the 915 MHz carrier of the 26 MHz span";
    EXPECT_EQ(doc->Settings().maxHold, 1);

    Edit([](InstrumentState& s) {
        s.maxHold = 0;
        s.videoAvgCount = 10;
    });
    Sweep(903.5e6, 100e3);
    Sweep(915e6, 100e3);
    EXPECT_NEAR(LevelNear(915e6, 5e3), -25.0, 1.0) << "averaged with rows of the old span";
}

// Min hold chosen starts from the top of the screen, so the first sweep is
// kept whole; AVERAGE counts its sweeps up to N.
TEST_F(TraceRowsTest, MinHoldStartsFromTheTopAndAverageCountsItsSweeps) {
    Start(sim::DefaultScene());
    Sweep(915e6, 100e3);
    Edit([](InstrumentState& s) { SetTraceMode(s, TraceMode::kMinHold); });
    Sweep();
    EXPECT_NEAR(LevelNear(915e6, 5e3), -25.0, 1.0);
    Edit([](InstrumentState& s) { SetTraceMode(s, TraceMode::kAverage, 3); });
    Sweep(), Sweep(), Sweep(), Sweep();
    EXPECT_EQ(doc->Settings().powerAvgIndex, 3);
}

}  // namespace
}  // namespace tavlin
