// What the trace shows from the first sweep after start-up on.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavlin
