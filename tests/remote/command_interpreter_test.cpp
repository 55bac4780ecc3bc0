#include <algorithm>
#include <atomic>
#include <clocale>
#include <filesystem>
#include <sstream>
#include <string>

#include "document/document_fixture.h"
#include "remote/command_interpreter.h"
#include "remote/command_script.h"
#include "remote/command_text.h"
#include "remote/pending_reply.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

long CountCalls(test::ScriptedUsbDriver& usb, const std::string& prefix) {
    return std::ranges::count_if(usb.Calls(), [&](const auto& c) { return c.starts_with(prefix); });
}

class CommandInterpreterTest : public DocumentFixture {
  protected:
    AnalyzerDocument& BuildDocument() {
        AnalyzerDocument& d = BuildWithInstrument();
        WatchPasses([] { return 0; });
        return d;
    }
    int Run(const std::string& command) { return interpreter.Interpret(*doc, command); }
    FrequencyPair Frequencies() { return doc->Frequencies(); }

    PendingReply reply;
    CommandInterpreter interpreter{reply};
    std::ostringstream warnings;
};

// Each command's result, its reply, and the message box it shows (the whole
// command as text). Unknown groups and items, and a question mark without its
// blank, are ignored without a box and reported as matching nothing; a trace
// without a proper query is accepted and does nothing.
TEST_F(CommandInterpreterTest, CommandsAndTheirReplies) {
    BuildDocument();
    FillTrace(400.0);
    EditTrace([](SweepTrace& t) { t.traceA[480] = 100.0; });
    MarkerCommands(*doc).Delta();  // marker 2 active: MAR:PEA turns markers off first
    const struct {
        const char* command;
        int result;
        const char* reply;
        const char* caption;
    } rows[] = {
        {"*IDN?", 1, "Tavlin,TAVLIN-44,TV000123,Tavlin 2.03\r\n", ""},
        {"MAR:PEA", 1, "", ""},
        {"MAR:FRE ?", 1, "921500000.000\r\n", ""},
        {"marker:amplitude ?", 1, "-20.000\r\n", ""},
        {"MAR:NOR", 1, "", ""},
        {"MAR:FRE ?", 1, "915000000.000\r\n", ""},
        {"*opc?", 1, "1\r\n", ""},
        {"XYZ:A ?", 0, "", "Unrecognized query"},
        {"HELLO", 0, "", "Unrecognized Command"},
        {"*CLS", 0, "", "Unrecognized Command"},
        {"*IDN ?", 3, "", ""},  // group "*ID": no such command
        {"FRE:XYZ 5", 3, "", ""},
        {"MAR:FRE?", 3, "", ""},  // no blank: the command MAR:FRE?, which is none
        {"MAR:XYZ ?", 3, "", ""},
        // nothing swept yet to integrate: a line that says so, not a number
        {"MEA:CHP ?", 1, "NOT MEASURED,NOT MEASURED\r\n", ""},
        {"measure:obw ?", 1, "NOT MEASURED,NOT MEASURED\r\n", ""},
    };
    for (const auto& row : rows) {
        prompter.Clear();
        EXPECT_EQ(Run(row.command), row.result) << row.command;
        EXPECT_EQ(reply.Ready() ? reply.Take() : "", row.reply) << row.command;
        ASSERT_EQ(prompter.Count(), *row.caption == '\0' ? 0u : 1u) << row.command;
        if (prompter.Count() == 1) {
            EXPECT_EQ(prompter.Boxes()[0].caption + "|" + prompter.Boxes()[0].text,
                      std::string(row.caption) + "|" + row.command);
        }
    }
    EXPECT_EQ(Frequencies().startHz, 902e6);
}

// Every reply is added after the ones waiting, markers as much as traces.
TEST_F(CommandInterpreterTest, TraceRepliesEveryPointAndRepliesQueueUp) {
    AnalyzerDocument& d = BuildDocument();
    d.EditSettings([&](InstrumentState& s) { s.refLevelOffsetDb = 2.0; });
    FillTrace(250.0);
    EditTrace([](SweepTrace& t) {
        t.traceA[0] = 0.0;
        t.traceA[640] = 500.0;
    });
    EXPECT_EQ(Run("TRA:DAT ?"), 1);
    const std::string text = reply.Take();
    EXPECT_EQ(std::ranges::count(text, '\n'), 641);  // every reply line ends in CR LF
    EXPECT_EQ(text.substr(0, 17), "2.000\r\n-48.000\r\n-");
    EXPECT_EQ(text.substr(text.size() - 10), "\n-98.000\r\n");

    Run("MAR:NOR");
    Run("MAR:FRE ?");
    Run("MAR:FRE ?");
    Run("TRA:DAT ?");
    Run("TRACE:A ?");
    Run("*IDN?");
    EXPECT_EQ(std::ranges::count(reply.Take(), '\n'), 2 + 1282 + 1);
}

// Group and item are their first three letters in any case; units are not
// understood (100MHZ is a hundred hertz) and numbers that are not finite do
// nothing. The entries keep the pair inside the band with stop above start: a
// centre outside resets to 2.4 GHz with a message, a span is shrunk around the
// centre, and an edge moved past the other pushes it 100 kHz away.
TEST_F(CommandInterpreterTest, FrequencyCommandsStayInsideTheBand) {
    AnalyzerDocument& d = BuildDocument();
    Run("TRI:CON");
    const struct {
        const char* command;
        double start, stop;
    } rows[] = {
        {"FRE:CEN 100000000", 87e6, 113e6},
        {"fre:spa 1e6", 99.5e6, 100.5e6},
        {"FREQ:CENTER 100MHZ", 0.0, 200.0},
        {"FRE:STA 950e6", 950e6, 950.1e6},
        {"FREQUENCY:STOP 1e9", 950e6, 1e9},
        {"FRE:STA+9.6e8", 960e6, 1e9},            // the item ends at a sign or a point
        {"FRE CEN.97e9", 950e6, 990e6},           // a blank ends the group too
        {"FRE:SPA 2,5e7", 970e6 - 1, 970e6 + 1},  // numbers end at a comma
        {"FRE:STO -inf", 970e6 - 1, 970e6 + 1},
        {"FRE:CEN -1e400", 970e6 - 1, 970e6 + 1},
        {"FRE:STO 50e3", 0.0, 100e3},
        {"FRE:STA 5e9", 4.4e9 - 100e3, 4.4e9},
        {"FRE:STO 4.3999e9", 4.4e9 - 100e3, 4.4e9 - 100e3},  // zero span is legal
        {"FRE:CEN 4.3e9", 4.3e9, 4.3e9},
        {"FRE:SPA 1e9", 4.2e9, 4.4e9},
        {"FRE:CEN 1.5e9", 1.4e9, 1.6e9},
        {"FRE:SPA 7e9", 0.0, 3e9},  // the stop clamped pushes the start below zero
        {"FRE:CEN 5e9", 2.4e9, 2.4001e9},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.command), 1) << row.command;
        EXPECT_DOUBLE_EQ(Frequencies().startHz, row.start) << row.command;
        EXPECT_DOUBLE_EQ(Frequencies().stopHz, row.stop) << row.command;
    }
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption + "|" + prompter.Boxes()[0].text,
              "INVALID SETTING|CF out of bounds. Reset.");
    EXPECT_EQ(Run("AMP:RLE 12"), 1);  // through the level plan, with the sweep paused
    EXPECT_EQ(d.Settings().refLevelDbm, 12.0);
    EXPECT_EQ(d.Settings().attenDb, 15.0);
    EXPECT_TRUE(d.SweepRunning());
}

// The recall happens between passes, never while one runs; blanks around a
// name are dropped; a missing name, a folder or a failed write is a failed
// file command with its message.
TEST_F(CommandInterpreterTest, SaveAndRecallTheStateFile) {
    AnalyzerDocument& d = BuildWithInstrument();
    WatchPasses([&d] { return d.Frequencies().startHz; }, true);
    const std::filesystem::path file = cacheDir / "remote state.pqz";
    Run("FRE:CEN 100e6");
    EXPECT_EQ(Run("SAV  " + file.string() + " "), CommandInterpreter::kDone);
    ASSERT_TRUE(std::filesystem::exists(file));
    Run("FRE:CEN 915e6");
    Run("TRI:CON");
    WaitForPassInProgress();
    EXPECT_EQ(Run("rec:" + file.string()), CommandInterpreter::kDone);
    EXPECT_EQ(Frequencies().CenterHz(), 100e6);
    EXPECT_TRUE(d.SweepRunning());  // restarted after the recall
    d.CloseDocument();
    EXPECT_FALSE(changedDuringPass.load());
    EXPECT_EQ(prompter.Count(), 0u);

    EXPECT_EQ(Run("SAV "), CommandInterpreter::kFileCommandFailed);
    EXPECT_EQ(Run("REC " + cacheDir.string()), CommandInterpreter::kFileCommandFailed);
    EXPECT_EQ(Run("SAV " + (cacheDir / "no" / "x.pqz").string()),
              CommandInterpreter::kFileCommandFailed);
    ASSERT_EQ(prompter.Count(), 3u);
    EXPECT_EQ(prompter.Boxes()[0].text, "SAV needs the name of a state file");
    EXPECT_EQ(prompter.Boxes()[1].caption, "UNABLE TO OPEN");
    EXPECT_EQ(prompter.Boxes()[2].caption, "UNABLE TO SAVE");
}

TEST_F(CommandInterpreterTest, UsbResetWaitsForTheSweepToStopAndRestartsIt) {
    AnalyzerDocument& d = BuildWithInstrument();
    WatchPasses([this] { return CountCalls(usb, "cycle"); }, true);
    Run("TRI:CON");
    WaitForPasses(2);
    WaitForPassInProgress();
    Run("USB:RES");
    EXPECT_EQ(CountCalls(usb, "cycle"), 1);
    EXPECT_TRUE(d.SweepRunning());
    WaitForPasses(passes.load() + 2);
    d.CloseDocument();
    EXPECT_FALSE(changedDuringPass.load()) << "the link was reset during a pass";
    EXPECT_FALSE(d.CloseRequested());
}

// *WAI and *OPC? return after a single sweep's pass, and while sweeping
// continuously once a pass that began after them is complete; *RST is the
// preset button.
TEST_F(CommandInterpreterTest, WaitOperationCompleteAndReset) {
    AnalyzerDocument& d = BuildDocument();
    Run("TRI:SIN");
    EXPECT_EQ(Run("*WAI"), 1);
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(passes.load(), 1);
    EXPECT_FALSE(reply.Ready());
    Run("TRI:SIN");
    EXPECT_EQ(Run("*OPC?"), 1);
    EXPECT_FALSE(d.SweepRunning());
    EXPECT_EQ(passes.load(), 2);
    EXPECT_EQ(reply.Take(), "1\r\n");
    Run("TRI:CON");
    for (int i = 0; i < 3; ++i) {
        const std::uint64_t started = d.PassesStarted();
        EXPECT_EQ(Run("*WAI"), 1);
        EXPECT_GE(d.PassesCompleted(), started + 1);
    }
    EXPECT_TRUE(d.SweepRunning());

    Run("FRE:CEN 100e6");
    Run("AMP:RLE -30");
    EXPECT_EQ(Run("*RST"), 1);
    EXPECT_EQ(Frequencies().startHz, 902e6);
    EXPECT_EQ(d.Settings().refLevelDbm, 0.0);
    EXPECT_FALSE(d.SweepRunning());
}

// A script stops at the command that lost the unit: nothing runs on a closed
// link, and the status says why. Otherwise the worst result wins.
TEST_F(CommandInterpreterTest, ScriptStopsWhenTheUnitIsLostAndReportsTheWorstResult) {
    AnalyzerDocument& d = BuildDocument();
    CommandScript script(d, reply, warnings, "tavlin-cli");
    script.RunTexts({"SAV ", "FRE:CEN 100e6;HELLO"});
    EXPECT_EQ(script.ExitStatus(), CommandScript::kUnrecognized);
    usb.devices.clear();
    CommandScript lost(d, reply, warnings, "tavlin-cli");
    lost.RunTexts({"USB:RES;FRE:CEN 200e6", "*IDN?"});
    EXPECT_EQ(lost.ExitStatus(), CommandScript::kInstrumentLost);
    EXPECT_EQ(d.Frequencies().CenterHz(), 100e6);
    EXPECT_FALSE(reply.Ready());
}

// A script names a command that matches nothing and fails with it (the server
// ignores it), and calls its hook once, before the first marker or trace
// command, so that the screenshot sweeps before MAR:PEA.
TEST_F(CommandInterpreterTest, ScriptWarnsOfWhatMatchesNothingAndSweepsBeforeReadingTheTrace) {
    AnalyzerDocument& d = BuildDocument();
    CommandScript script(d, reply, warnings, "tavlin-cli");
    std::vector<double> centreAtHook;
    script.BeforeFirstTraceRead([&] { centreAtHook.push_back(d.Frequencies().CenterHz()); });
    script.RunTexts({"FRE:CEN 100e6;FOO:BAR 1", "MAR:PEA", "TRA:DAT ?"});
    EXPECT_EQ(centreAtHook, std::vector{100e6});
    EXPECT_EQ(warnings.str(),
              "tavlin-cli: \"FOO:BAR 1\" matches no command or query of the language; ignored\n");
    EXPECT_EQ(script.ExitStatus(), CommandScript::kUnrecognized);
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
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the wait has begun
    interpreter.StopWaiting();
    waiter.join();
    EXPECT_TRUE(d.SweepRunning());
    EXPECT_EQ(reply.Take(), "1\r\n");
    release = true;
    d.CloseDocument();
}

}  // namespace
}  // namespace tavlin
