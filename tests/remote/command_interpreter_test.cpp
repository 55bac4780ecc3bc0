#include <atomic>
#include <filesystem>
#include <string>

#include "document/document_fixture.h"
#include "remote/command_interpreter.h"
#include "remote/pending_reply.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

int LineCount(const std::string& text) {
    int lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

class CommandInterpreterTest : public DocumentFixture {
  protected:
    AnalyzerDocument& BuildDocument() {
        AnalyzerDocument& d = BuildWithInstrument();
        d.SetSweepPass([this] {
            ++passes;
            clock.SleepMs(20);
        });
        return d;
    }
    int Run(const std::string& command) { return interpreter.Interpret(*doc, command); }
    FrequencyPair Frequencies() { return doc->Frequencies(); }

    PendingReply reply;
    CommandInterpreter interpreter{reply};
    std::atomic<int> passes{0};
};

// --- Frequencies and level ----------------------------------------------------------

TEST_F(CommandInterpreterTest, CentreKeepsTheSpanAndSpanKeepsTheCentre) {
    BuildDocument();
    EXPECT_EQ(Run("FRE:CEN 100000000"), 1);
    EXPECT_EQ(Frequencies().startHz, 87e6);
    EXPECT_EQ(Frequencies().stopHz, 113e6);
    Run("FRE:CEN 915000000");
    EXPECT_EQ(Frequencies().CenterHz(), 915e6);
    EXPECT_EQ(Frequencies().SpanHz(), 26e6);
    Run("fre:spa 1e6");
    EXPECT_EQ(Frequencies().startHz, 914.5e6);
    EXPECT_EQ(Frequencies().stopHz, 915.5e6);
    EXPECT_GE(views.updates.load(), 3);
}

// Units are not understood: 100MHZ is a hundred hertz. Start and stop are
// validated by the edge that changed.
TEST_F(CommandInterpreterTest, UnitsAreNotUnderstoodAndEdgesAreValidatedByTheOneThatChanged) {
    BuildDocument();
    Run("FREQ:CENTER 100MHZ");
    EXPECT_EQ(Frequencies().startHz, 0.0);
    EXPECT_EQ(Frequencies().stopHz, 200.0);
    EXPECT_EQ(prompter.Count(), 0u);
    Run("FRE:STA 950e6");
    EXPECT_EQ(Frequencies().startHz, 950e6);
    EXPECT_EQ(Frequencies().stopHz, 950.1e6);
    Run("FREQUENCY:STOP 1e9");
    EXPECT_EQ(Frequencies().stopHz, 1e9);
}

TEST_F(CommandInterpreterTest, NumbersThatAreNotFiniteDoNothing) {
    AnalyzerDocument& d = BuildDocument();
    for (const char* command : {"FRE:CEN nan", "FRE:SPA 1e999", "FRE:STA inf", "FRE:STO -inf",
                                "AMP:RLE nan", "AMP:RLE -1e400"}) {
        EXPECT_EQ(Run(command), 1) << command;
        EXPECT_EQ(Frequencies().startHz, 902e6) << command;
        EXPECT_EQ(Frequencies().stopHz, 928e6) << command;
        EXPECT_EQ(d.state.refLevelDbm, 0.0) << command;
    }
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(CommandInterpreterTest, ReferenceLevelPausesTheSweepAndAppliesTheLevelPlan) {
    AnalyzerDocument& d = BuildDocument();
    Run("TRI:CON");
    Run("AMP:RLE -20");
    EXPECT_EQ(d.state.refLevelDbm, -20.0);
    EXPECT_TRUE(d.SweepRunning());  // resumed
    Run("AMP:RLE 12");
    EXPECT_EQ(d.state.attenDb, 15.0);
    d.CloseDocument();
}

// --- Markers and queries --------------------------------------------------------------

TEST_F(CommandInterpreterTest, MarkerQueriesReplyOneLineThatReplacesWhatIsPending) {
    AnalyzerDocument& d = BuildDocument();
    d.trace.traceA.fill(400.0);
    d.trace.traceA[480] = 100.0;
    d.markers.marker2Active = 1;
    Run("MAR:PEA");  // markers off first, so marker 1 takes the peak
    EXPECT_EQ(d.markers.marker1On, 1);
    EXPECT_EQ(d.markers.marker2On, 0);

    EXPECT_EQ(Run("MAR:FRE ?"), 1);
    EXPECT_EQ(Run("MAR:FRE ?"), 1);
    EXPECT_TRUE(reply.Ready());
    EXPECT_EQ(reply.Take(), "921500000.000\r\n");
    EXPECT_FALSE(reply.Ready());

    Run("marker:amplitude ?");
    EXPECT_EQ(reply.Take(), "-20.000\r\n");

    Run("MAR:NOR");
    EXPECT_EQ(d.markers.marker1On, 1);
    EXPECT_EQ(d.markers.marker1Pos, 915e6);
}

TEST_F(CommandInterpreterTest, TraceQueryRepliesEveryPointAndAppends) {
    AnalyzerDocument& d = BuildDocument();
    d.state.refLevelOffsetDb = 2.0;
    d.trace.traceA.fill(250.0);
    d.trace.traceA[0] = 0.0;
    d.trace.traceA[640] = 500.0;
    EXPECT_EQ(Run("TRA:DAT ?"), 1);
    const std::string text = reply.Take();
    EXPECT_EQ(LineCount(text), 641);
    EXPECT_EQ(text.substr(0, 7), "2.000\r\n");
    EXPECT_EQ(text.substr(7, 10), "-48.000\r\n-");
    EXPECT_EQ(text.substr(text.size() - 10), "\n-98.000\r\n");

    Run("MAR:NOR");
    Run("TRA:DAT ?");
    Run("TRACE:A ?");
    EXPECT_EQ(LineCount(reply.Take()), 1282);

    // In FM zero span the rows are deviations.
    d.SetFrequencies(915e6, 915e6);
    d.state.zeroSpanFm = 1;
    d.state.maxFmOffsetHz = 5000.0;
    d.trace.traceA.fill(0.0);
    Run("TRA:DAT ?");
    EXPECT_EQ(reply.Take().substr(0, 10), "5000.000\r\n");
}

// --- Errors --------------------------------------------------------------------------

TEST_F(CommandInterpreterTest, UnrecognisedInputShowsTheWholeCommand) {
    BuildDocument();
    EXPECT_EQ(Run("XYZ:A ?"), 0);
    EXPECT_EQ(Run("HELLO"), 0);
    EXPECT_EQ(Run(":FRE:CEN 5"), 0);
    const auto boxes = prompter.Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "XYZ:A ?");
    EXPECT_EQ(boxes[0].caption, "Unrecognized query");
    EXPECT_EQ(boxes[1].text, "HELLO");
    EXPECT_EQ(boxes[1].caption, "Unrecognized Command");
    EXPECT_EQ(boxes[2].caption, "Unrecognized Command");
    EXPECT_FALSE(reply.Ready());
}

// Unknown groups and items, a question mark without its blank, a trace
// without a proper query: accepted, and nothing happens.
TEST_F(CommandInterpreterTest, UnknownGroupsAndItemsAreIgnoredSilently) {
    BuildDocument();
    for (const char* command : {"XYZ ?", "XYZ 5", "FRE:XYZ 5", "FR:CEN 5", "TRA:DAT 5", "MAR:FRE?",
                                "MAR:XYZ ?", "TRA ?", "TRA:DAT?"}) {
        EXPECT_EQ(Run(command), 1) << command;
    }
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_EQ(Frequencies().startHz, 902e6);
    EXPECT_FALSE(reply.Ready());
}

// --- State files and the link ------------------------------------------------------------

TEST_F(CommandInterpreterTest, SaveAndRecallTheStateFile) {
    AnalyzerDocument& d = BuildDocument();
    const std::filesystem::path file = cacheDir / "remote state.pqz";
    Run("FRE:CEN 100e6");
    Run("SAV " + file.string());
    ASSERT_TRUE(std::filesystem::exists(file));
    Run("FRE:CEN 915e6");
    Run("TRI:CON");
    EXPECT_EQ(Run("rec:" + file.string()), 1);
    EXPECT_EQ(Frequencies().CenterHz(), 100e6);
    EXPECT_TRUE(d.SweepRunning());  // restarted after the recall
    d.CloseDocument();
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(CommandInterpreterTest, RecallOfAMissingFileShowsTheReasonAndChangesNothing) {
    BuildDocument();
    EXPECT_EQ(Run("REC " + (cacheDir / "none.pqz").string()), 1);
    EXPECT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(Frequencies().startHz, 902e6);
}

int CountCalls(test::ScriptedUsbDriver& usb, const std::string& prefix) {
    int count = 0;
    for (const std::string& call : usb.Calls()) {
        count += call.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

TEST_F(CommandInterpreterTest, UsbResetWaitsForTheSweepToStopAndRestartsIt) {
    AnalyzerDocument& d = BuildWithInstrument();
    std::atomic<bool> resetDuringPass{false};
    d.SetSweepPass([&] {
        const int before = CountCalls(usb, "cycle");
        clock.SleepMs(20);
        if (CountCalls(usb, "cycle") != before) {
            resetDuringPass = true;
        }
        ++passes;
    });
    Run("TRI:CON");
    while (passes.load() < 2) {
        std::this_thread::yield();
    }
    Run("USB:RES");
    EXPECT_EQ(CountCalls(usb, "cycle"), 1);
    EXPECT_TRUE(d.SweepRunning());
    const int afterReset = passes.load();
    while (passes.load() < afterReset + 2) {
        std::this_thread::yield();
    }
    d.CloseDocument();
    EXPECT_FALSE(resetDuringPass.load());
    EXPECT_FALSE(d.CloseRequested());
}

// --- Sweeps and the common commands -------------------------------------------------------

// *WAI and *OPC? return after a single sweep's pass (the query then replies
// 1), and at once while sweeping continuously.
TEST_F(CommandInterpreterTest, WaitAndOperationCompleteReturnAfterASingleSweep) {
    AnalyzerDocument& d = BuildDocument();
    Run("TRI:SIN");
    EXPECT_EQ(Run("*WAI"), 1);
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(passes.load(), 1);
    EXPECT_FALSE(reply.Ready());
    Run("TRI:SIN");
    EXPECT_EQ(Run("*opc?"), 1);
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(passes.load(), 2);
    EXPECT_EQ(reply.Take(), "1\r\n");
    Run("TRI:CON");
    EXPECT_EQ(Run("*WAI"), 1);
    EXPECT_TRUE(d.SweepRunning());
    d.CloseDocument();
}

TEST_F(CommandInterpreterTest, StopWaitingEndsAWaitForASweepThatDoesNotEnd) {
    AnalyzerDocument& d = BuildWithInstrument();
    std::atomic<bool> release{false};
    d.SetSweepPass([&] {
        while (!release.load()) {
            std::this_thread::yield();
        }
    });
    Run("TRI:SIN");
    std::thread waiter([this] { Run("*OPC?"); });
    while (clock.TotalSleptMs() < 200) {
        std::this_thread::yield();  // the wait is polling
    }
    interpreter.StopWaiting();
    waiter.join();
    EXPECT_TRUE(d.SweepRunning());
    EXPECT_EQ(reply.Take(), "1\r\n");
    release = true;
    d.CloseDocument();
}

TEST_F(CommandInterpreterTest, IdentityNamesMakerModelSerialAndFirmware) {
    BuildDocument();
    EXPECT_EQ(Run("*IDN?"), 1);
    EXPECT_EQ(reply.Take(), "Tavlin,TAVLIN-44,TV000123,Tavlin 2.03\r\n");
    Run("MAR:NOR");
    Run("MAR:FRE ?");
    Run("*IDN?");  // appended behind the marker line
    EXPECT_EQ(LineCount(reply.Take()), 2);
}

TEST_F(CommandInterpreterTest, ResetIsThePresetButton) {
    AnalyzerDocument& d = BuildDocument();
    Run("FRE:CEN 100e6");
    Run("AMP:RLE -30");
    Run("TRI:CON");
    usb.ClearCalls();
    EXPECT_EQ(Run("*RST"), 1);
    EXPECT_EQ(Frequencies().startHz, 902e6);
    EXPECT_EQ(d.state.refLevelDbm, 0.0);
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(CountCalls(usb, "cycle"), 1);
}

TEST_F(CommandInterpreterTest, OtherStarCommandsFollowTheOrdinaryGrammar) {
    BuildDocument();
    EXPECT_EQ(Run("*CLS"), 0);
    EXPECT_EQ(prompter.Boxes().at(0).caption, "Unrecognized Command");
    EXPECT_EQ(Run("*IDN ?"), 1);  // group "*ID": no such command, ignored
    EXPECT_FALSE(reply.Ready());
}

}  // namespace
}  // namespace tavlin
