// Readings a sweep could not measure, as the screen and SCPI give them: a
// trace beyond the screen's top, a marker off the span.
#include <gtest/gtest.h>

#include <string>

#include "document/marker_commands.h"
#include "e2e/virtual_unit_fixture.h"
#include "remote/scpi_session.h"
#include "view/limit_verdict_text.h"
#include "view/marker_readout.h"

namespace tavlin {
namespace {

using OverRangeTest = test::VirtualUnitTest;

LimitMask EmissionMask() {
    return *ParseLimitMask(test::ReadFileText(TAVLIN_SOURCE_DIR "/scenes/emission_mask.csv")).mask;
}

// The verdict, its first failing point and the marker line, as drawn.
std::string ScreenText(AnalyzerDocument& doc) {
    const LimitVerdict verdict = doc.LimitTest();
    const MarkerCommands markers(doc);
    std::string text = LimitVerdictText(verdict, false) + "\n";
    if (!verdict.failures.empty()) {
        text += LimitFailureLine(verdict.failures.front(), markers.Scale()) + "\n";
    }
    return text + MarkerReadout(markers.Scale()).Line(markers.Snapshot());
}

TEST_F(OverRangeTest, ReadingsBeyondTheScreenOrSpanAreFlaggedOnScreenAndThroughScpi) {
    struct Row {
        const char* name;
        double refDbm;
        std::function<void()> act;  // after a sweep at 915 MHz, 20 MHz span
        const char* screen;         // found in the screen's text
        const char* query;
        const char* reply;  // the reply, then the error queue's first entry
    };
    const auto peak = [this] { MarkerCommands(*doc).Peak(); };
    const auto sweepNarrowBelow = [this] {
        MarkerCommands(*doc).Peak();
        MarkerCommands(*doc).Delta();
        Sweep(903.5e6, 100e3);
    };
    const Row rows[] = {
        {"carrier far over a low reference level", -20.0, nullptr, "OVER RANGE\n", "CALC:LIM:FAIL?",
         "1;-231,\"Data questionable;OVER RANGE\"\n"},
        {"marker on a sweep that overdrove the IF", -20.0, peak, "MHz, -19.00 dBm OVER RANGE",
         "CALC:MARK1:Y?", "-19.000;-231,\"Data questionable;OVER RANGE\"\n"},
        {"failing carrier at the top of the screen", 0.0, peak, "MHz, >1.00 dBm   ",
         "CALC:MARK1:Y?", "1.000;-231,\"Data questionable;ABOVE SCREEN\"\n"},
        {"delta markers left off the span", 0.0, sweepNarrowBelow,
         "MHz, OFF SPAN   MKR DELTA: 0.0 Hz, OFF SPAN", "CALC:MARK1:Y?",
         "9.91E+37;-230,\"Data corrupt or stale;OFF SPAN\"\n"},
    };
    for (const Row& row : rows) {
        Start({Cw(915e6, 5.0)});
        doc->SetLimitMask(EmissionMask());
        Edit([&row](InstrumentState& s) { s.refLevelDbm = row.refDbm; });
        Sweep(915e6, 20e6);
        if (row.act) {
            row.act();
        }
        EXPECT_NE(ScreenText(*doc).find(row.screen), std::string::npos) << row.name << ":\n"
                                                                        << ScreenText(*doc);
        ScpiSession scpi(*doc);
        EXPECT_EQ(scpi.Execute(std::string(row.query) + ";:SYST:ERR?"), row.reply) << row.name;
    }
}

}  // namespace
}  // namespace tavlin
