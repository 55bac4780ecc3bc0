#include "utilities/utility_session.h"
#include "e2e/virtual_unit_fixture.h"

namespace tavlin::test {
namespace {

class UtilitySessionTest : public VirtualUnitTest {};

TEST_F(UtilitySessionTest, RefusesRunControlAndHoldsMaxHoldAndAveragingOffUntilItEnds) {
    Start({Cw(915e6, -30.0)});
    Edit([](InstrumentState& s) {
        s.maxHold = 1;
        s.videoAvgCount = 8;
    });
    {
        const UtilitySession session(*doc);
        EXPECT_EQ(doc->Settings().maxHold, 0);
        EXPECT_EQ(doc->Settings().videoAvgCount, 1);
        doc->OnContinuous();
        doc->OnSingle();
        EXPECT_FALSE(doc->SweepRunning());
        EXPECT_FALSE(doc->StopRequested()) << "a refused SINGLE must not end the utility's sweeps";
    }
    EXPECT_EQ(doc->Settings().maxHold, 1);
    EXPECT_EQ(doc->Settings().videoAvgCount, 8);
    EXPECT_FALSE(doc->UtilityOwns());
}

}  // namespace
}  // namespace tavlin::test
