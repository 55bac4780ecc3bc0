// A sweep that failed or lost data, as the screen and a SCPI client see it:
// each fault set through the scene's "faults" key on a unit that has just
// swept a carrier in full.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "e2e/virtual_unit_fixture.h"
#include "remote/scpi_session.h"
#include "view/plot_annotations.h"
#include "view/plot_snapshot.h"

namespace tavlin {
namespace {

using FailedSweepTest = test::VirtualUnitTest;

bool ScreenSays(const AnalyzerDocument& doc, const std::string& word) {
    const PlotSnapshot snapshot = TakePlotSnapshot(doc);
    const PlotAnnotations annotations(snapshot, false);
    const auto texts = annotations.Annotations();
    return std::ranges::any_of(texts, [&word](const PlotText& t) { return t.text == word; }) &&
           annotations.Readout().text.ends_with(" " + word);
}

TEST_F(FailedSweepTest, AFailedSweepIsShownFlaggedAndAnswersScpiWithAnError) {
    struct Row {
        const char* name;
        const char* faults;
        double spanHz;  // above 200 kHz: step lists; up to it: one FFT capture
    };
    const Row rows[] = {
        {"missing step block", R"({"missing_step_block": 0})", 20e6},
        {"failed write", R"({"failed_writes": 1})", 100e3},
        {"short capture", R"({"short_captures": 1})", 100e3},
        {"wrong header", R"({"wrong_headers": 1})", 100e3},
    };
    for (const Row& row : rows) {
        Start({Cw(915.2e6, -30.0)});
        ScpiSession scpi(*doc);
        Sweep(915e6, row.spanHz);
        scpi.Execute("CALC:MARK1:MAX");
        EXPECT_EQ(scpi.Execute("*STB?"), "0\n") << row.name;

        unit->SetFaults(sim::ParseScene(std::string(R"({"faults": )") + row.faults + "}", "row")
                            .scene.value()
                            .faults);
        Sweep();
        EXPECT_TRUE(ScreenSays(*doc, "INCOMPLETE")) << row.name;
        scpi.Execute("CALC:MARK1:Y?");
        EXPECT_EQ(scpi.Execute("*STB?"), "12\n") << row.name << ": error and questionable bits";
        EXPECT_EQ(scpi.Execute("SYST:ERR?"), "-230,\"Data corrupt or stale;INCOMPLETE\"\n")
            << row.name;

        unit->SetFaults({});
        Sweep();
        EXPECT_FALSE(ScreenSays(*doc, "INCOMPLETE")) << row.name;
        EXPECT_EQ(scpi.Execute("*STB?"), "0\n") << row.name;
    }
}

}  // namespace
}  // namespace tavlin
