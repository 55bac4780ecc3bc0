// A trace, a marker position and the FM detector belong either to a frequency
// screen or to a time screen (zero span).
#include <algorithm>
#include <functional>

#include "document/marker_commands.h"
#include "e2e/virtual_unit_fixture.h"

namespace tavlin {
namespace {

class SpanKindTest : public test::VirtualUnitTest {
  protected:
    void EnterZeroSpan(double sweepTimeSec) {
        doc->SetFrequencies(915e6, 915e6);
        Edit([sweepTimeSec](InstrumentState& s) {
            s.zeroSpanFm = 1;
            s.sweepTimeSec = sweepTimeSec;
        });
    }
    bool ScreenAfresh() const {
        const MarkerState m = test::MarkersOf(*doc);
        const auto rows = Rows();
        return m.marker1On + m.marker2On + m.markerDelta == 0 &&
               std::ranges::all_of(rows, [](double row) { return row == kBottomRow; });
    }
};

// Entering or leaving zero span, by whichever command, turns the markers off
// at the centre of the new screen (a position query reads a frequency, or a
// time, of the screen shown) and puts the trace on the floor; leaving it ends
// the FM detector. A change
// within one kind of screen keeps both.
TEST_F(SpanKindTest, EnteringOrLeavingZeroSpanStartsTheScreenAfresh) {
    Start({Cw(915e6, -30.0)});
    using Change = std::function<void(AnalyzerDocument&)>;
    struct Row {
        const char* name;
        bool fromZeroSpan;
        Change change;
        bool afresh;
    };
    const Row rows[] = {
        {"narrower span", false, [](auto& d) { d.SetCenterSpan(915e6, 2e6); }, false},
        {"SPAN 0", false, [](auto& d) { d.SetCenterSpan(915e6, 0.0); }, true},
        {"zero span settings", false,
         [](auto& d) {
             d.EditSettings([](InstrumentState& s) { s.startFreqHz = s.stopFreqHz = 915e6; });
         },
         true},
        {"sweep time", true,
         [](auto& d) { d.EditSettings([](auto& s) { s.sweepTimeSec = 0.02; }); }, false},
        {"FULL SPAN", true, [](auto& d) { d.SetFrequencies(200e3, 4.4e9); }, true},
        {"span entry", true, [](auto& d) { d.SetCenterSpan(915e6, 1e6); }, true},
        {"CF step", true, [](auto& d) { d.ShiftFrequencies(1e6); }, false},
        {"PRESET", true, [](auto& d) { d.Preset(); }, true},
    };
    for (const Row& row : rows) {
        if (row.fromZeroSpan) {
            EnterZeroSpan(0.01);
        } else {
            doc->SetFrequencies(902e6, 928e6);
        }
        Sweep();
        MarkerCommands(*doc).Peak();
        ASSERT_FALSE(ScreenAfresh()) << row.name;
        row.change(*doc);
        EXPECT_EQ(ScreenAfresh(), row.afresh) << row.name;
        if (row.afresh) {
            const double centre = doc->Frequencies().SpanHz() > 0.0
                                      ? doc->Frequencies().CenterHz()
                                      : doc->Settings().sweepTimeSec * 500.0;
            EXPECT_DOUBLE_EQ(test::MarkersOf(*doc).marker1Pos, centre) << row.name;
        }
        EXPECT_EQ(doc->Settings().zeroSpanFm, row.fromZeroSpan && !row.afresh) << row.name;
    }
}

// A sweep that began on the screen that went publishes neither its rows nor
// its RBW over the new one.
TEST_F(SpanKindTest, ASweepBegunBeforeTheScreenChangedPublishesNothing) {
    Start({Cw(915e6, -30.0)});
    EnterZeroSpan(0.01);  // four blocks
    double rbwOfNewSpan = 0.0;
    driver->afterBlock = [this, &rbwOfNewSpan](int block) {
        if (block == 2) {
            doc->SetCenterSpan(915e6, 1e6);
            rbwOfNewSpan = doc->Settings().rbwHz;
        }
    };
    doc->PerformSweep();
    EXPECT_TRUE(ScreenAfresh());
    EXPECT_EQ(doc->Settings().rbwHz, rbwOfNewSpan);
    driver->afterBlock = nullptr;
    Sweep();
    EXPECT_NEAR(LevelNear(915e6, 5e3), -30.0, 1.5) << "the next sweep shows the new span";
}

}  // namespace
}  // namespace tavlin
