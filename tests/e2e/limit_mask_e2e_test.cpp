// A limit mask against the sweeps of a virtual unit: the verdict on the
// screen's state and through SCPI, and the mask kept beside a state file.
#include <gtest/gtest.h>

#include "e2e/virtual_unit_fixture.h"
#include "remote/scpi_session.h"

namespace tavlin {
namespace {

using LimitMaskE2eTest = test::VirtualUnitTest;

LimitMask ExampleMask() {
    return *ParseLimitMask(test::ReadFileText(TAVLIN_SOURCE_DIR "/scenes/emission_mask.csv")).mask;
}

// A carrier within its channel passes; one too strong fails on its own
// frequency, and so does a spurious signal beside the channel.
TEST_F(LimitMaskE2eTest, VerdictOfEachSweepOnScreenAndThroughScpi) {
    struct Row {
        const char* name;
        std::vector<sim::SceneEmitter> signals;
        const char* reply;
        double failingHz;
    };
    const Row rows[] = {
        {"carrier within the mask", {Cw(915e6, -25.0), Cw(921e6, -60.0)}, "0\n", 0.0},
        {"carrier too strong", {Cw(915e6, -5.0)}, "1\n", 915e6},
        {"spurious beside the channel", {Cw(915e6, -25.0), Cw(908e6, -30.0)}, "1\n", 908e6},
    };
    for (const Row& row : rows) {
        Start(row.signals);
        ScpiSession scpi(*doc);
        doc->SetLimitMask(ExampleMask());
        Sweep(915e6, 20e6);
        EXPECT_EQ(scpi.Execute("CALC:LIM:FAIL?"), row.reply) << row.name;
        const LimitVerdict verdict = doc->LimitTest();
        ASSERT_TRUE(verdict.tested) << row.name;
        if (!verdict.pass) {
            EXPECT_NEAR(verdict.failures.front().position, row.failingHz, 200e3) << row.name;
        }
    }
}

// The mask follows the span: its lines are drawn afresh on each sweep's
// scale. A state file keeps the mask in a file beside it, and a save
// without a mask removes the one left there.
TEST_F(LimitMaskE2eTest, MaskFollowsTheSpanAndIsKeptBesideTheStateFile) {
    Start({Cw(915e6, -25.0)});
    doc->SetLimitMask(ExampleMask());
    Sweep(915e6, 20e6);
    const auto rowsAt = [this] { return test::DisplayOf(*doc).upperLimitRows; };
    EXPECT_EQ(rowsAt()[320], 50) << "-10 dBm at 915 MHz, one division down";
    Sweep(905e6, 40e6);
    EXPECT_EQ(rowsAt()[320], 225) << "-45 dBm at 905 MHz";

    const std::filesystem::path state = cacheDir / "bench.pqz";
    ASSERT_TRUE(doc->SaveStateFile(state, false));
    ASSERT_TRUE(std::filesystem::exists(cacheDir / "bench.limits.csv"));
    const auto linesOff = [](ScreenState& s) {
        s.display.limitLinesOn = false;
        s.display.limitMask = {};
    };
    doc->EditTrace(linesOff);
    ASSERT_TRUE(doc->LoadStateFile(state, false));
    EXPECT_EQ(doc->LimitMaskInUse(), ExampleMask());

    doc->EditTrace(linesOff);
    ASSERT_TRUE(doc->SaveStateFile(state, false));
    EXPECT_FALSE(std::filesystem::exists(cacheDir / "bench.limits.csv"));
    EXPECT_EQ(prompter.Count(), 0u);
}

}  // namespace
}  // namespace tavlin
