#include "remote/scpi_session.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>

#include "base/bounded_format.h"
#include "document/document_fixture.h"
#include "remote/scpi_server.h"
#include "support/loopback_client.h"

namespace tavlin {
namespace {

class ScpiSessionTest : public test::DocumentFixture {
  protected:
    void SetUp() override {
        BuildWithInstrument();
        WatchPasses([] { return 0; });
        FillTrace(400.0);
        EditTrace([](SweepTrace& t) { t.traceA[480] = 100.0; });
    }
    std::string Run(const std::string& message) { return session->Execute(message); }

    std::unique_ptr<ScpiSession> session = nullptr;
};

// Each row is one program message and its whole reply; the rows run in
// order on one session. Errors are read back with SYST:ERR? in the same
// message. Nothing here opens a message box.
TEST_F(ScpiSessionTest, CommandsQueriesAndTheErrorQueue) {
    session = std::make_unique<ScpiSession>(*doc);
    const struct {
        const char* message;
        const char* reply;
    } rows[] = {
        {"*IDN?", "Tavlin,TAVLIN-44,TV000123,Tavlin 2.03\n"},
        // short and long forms in any case, optional roots, the compound
        // path after ";", a leading ":" back to the root, units
        {"FREQ:CENT 915 MHZ;SPAN 20MHz;:FREQ:CENT?;SPAN?", "915000000.000;20000000.000\n"},
        {"sense:frequency:start 905e6;STOP 0.925 GHZ;STAR?;:FREQ:STOP?",
         "905000000.000;925000000.000\n"},
        {"FREQ:CENTE 1e9;:SYST:ERR?", "-113,\"Undefined header\"\n"},
        {"FREQ::CENT 1e9;:SYST:ERR?", "-102,\"Syntax error\"\n"},
        {"FREQ:CENT 5 GHZ;:SYST:ERR:NEXT?", "-222,\"Data out of range\"\n"},
        {"FREQ:SPAN 1 DBM;SPAN abc;SPAN;:SYST:ERR?;ERR?;ERR?;ERR?",
         "-131,\"Invalid suffix\";-104,\"Data type error\";-109,\"Missing parameter\";0,\"No "
         "error\"\n"},
        {"DISP:WIND:TRAC:Y:RLEV -20 DBM;RLEV?", "-20.000\n"},
        {"POW:RF:ATT 15;ATT?;ATT 20;:SYST:ERR?", "15.000;-222,\"Data out of range\"\n"},
        {"AVER:COUN 10;COUN?;COUN 5;:SYST:ERR?", "10;-224,\"Illegal parameter value\"\n"},
        {"INIT:CONT ON;CONT?", "1\n"},
        {"INIT:CONT OFF;*OPC?;:INIT:CONT?", "1;0\n"},
        {"INIT;*WAI;*OPC?", "1\n"},
        // the peak at point 480 of 905 .. 925 MHz, its row 100 at -20 dBm ref
        {"CALC:MARK:MAX;X?;Y?", "920000000.000;-40.000\n"},
        {"CALC:MARK2:Y?;:SYST:ERR?", "9.91E+37;-221,\"Settings conflict\"\n"},
        {"MARK2:MAX;X?;:CALC:MARK7:X?;:SYST:ERR?",
         "920000000.000;9.91E+37;-114,\"Header suffix out of range\"\n"},
        {"CALC:MARK3:X?;:SYST:ERR?", "9.91E+37;-221,\"Settings conflict\"\n"},
        {"CALC:MARK3 ON;:CALC:MARK3:MAX;X?;:CALC:MARK3?", "920000000.000;1\n"},
        {"CALC:MARK1:SET:CENT;:FREQ:CENT?", "920000000.000\n"},
        {"MMEM:STOR:STAT 1,'../x.pqz';:MMEM:LOAD:STAT \"absent.pqz\";:SYST:ERR?;ERR?",
         "-257,\"File name error\";-256,\"File name not found\"\n"},
        {"MEAS:CHP:STAT ON;STAT?;:MEAS:OBW:STAT?;STAT 1;STAT?;:MEAS:CHP:STAT OFF;STAT?",
         "1;0;1;0\n"},
        {"MMEM:LOAD:LIM 'absent.csv';:CALC:LIM:FAIL?;:SYST:ERR?;ERR?",
         "9.91E+37;-256,\"File name not found\";-221,\"Settings conflict\"\n"},
        // status: a command error sets bit 5 of the event register, which
        // reaches the status byte once enabled; bit 2 is a queue not empty,
        // bit 4 a reply of this message before it
        {"*CLS;FOO;*ESE 32;*STB?;*ESR?;*STB?", "36;32;20\n"},
        {"*CLS;*STB?;:SYST:ERR?", "0;0,\"No error\"\n"},
        {"*RST;:FREQ:CENT?;SPAN?", "915000000.000;26000000.000\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.message), row.reply) << row.message;
    }
    EXPECT_EQ(prompter.Count(), 0u);
    EXPECT_EQ(Run("BAND?"), FormatText("%.3f\n", doc->Settings().rbwHz));
    const std::string trace = Run("TRACE:DATA? TRACE1");
    EXPECT_EQ(std::ranges::count(trace, ','), 640);
    EXPECT_TRUE(trace.starts_with("-100.000,") && trace.ends_with("\n")) << trace.substr(0, 20);

    for (int i = 0; i < 20; ++i) {
        Run("FOO");
    }
    std::string last;
    for (std::size_t i = 0; i < ScpiSession::kErrorQueueLength; ++i) {
        last = Run("SYST:ERR?");
    }
    EXPECT_EQ(last, "-350,\"Queue overflow\"\n");
}

// A bench analyzer's common tree on one session, in order: each command
// set and queried back, one error of each, and what *RST gives back. Trace
// A holds peaks at points 160, 320 and 480 (-40, -30, -20 dBm) on a floor at
// -80 dBm of 902 .. 928 MHz.
TEST_F(ScpiSessionTest, BenchAnalyzerTree) {
    session = std::make_unique<ScpiSession>(*doc);
    const struct {
        const char* message;
        const char* reply;
    } rows[] = {
        {"*RST;:BAND?;:BAND:AUTO?;:BAND:VID?;:BAND:VID:AUTO?", "100000.000;1;100000.000;1\n"},
        // the step sweep's filter nearest 30 kHz; the RBW then follows the span
        {"BAND 30 KHZ;:BAND?;:BAND:AUTO?", "25000.000;0\n"},
        {"BAND 0;:SYST:ERR?", "-222,\"Data out of range\"\n"},
        {"BAND:AUTO ON;:BAND?", "100000.000\n"},
        // video averaging: VBW below RBW averages 10 sweeps, below RBW/10 100
        {"BAND:VID 30 KHZ;:BAND:VID?;:AVER:COUN?;:BAND:VID 1 KHZ;:BAND:VID?;:BAND:VID:AUTO?",
         "10000.000;10;1000.000;0\n"},
        {"BAND:VID:AUTO ON;:AVER:COUN?;:BAND:VID -1;:SYST:ERR?", "1;-222,\"Data out of range\"\n"},
        {"SWE:TIME?;:SWE:POIN?;:SWE:POIN 641;POIN 401;:SYST:ERR?",
         "2.200000;641;-224,\"Illegal parameter value\"\n"},
        {"DET?;:DET:AUTO?;:DET AVER;:DET?;:DET:AUTO?", "POS;1;AVER;0\n"},
        {"DET NEG;:SYST:ERR?;:DET:AUTO ON;:DET:FUNC?", "-224,\"Illegal parameter value\";POS\n"},
        {"MEAS:CHP:STAT ON;:DET POS;:DET?;:SYST:ERR?;:MEAS:CHP:STAT OFF",
         "RMS;-221,\"Settings conflict\"\n"},
        {"DISP:WIND:TRAC:MODE?;MODE MAXH;MODE?;MODE AVER;MODE?;:AVER:COUN?", "WRIT;MAXH;AVER;10\n"},
        {"DISP:WIND:TRAC:MODE MINH;MODE?;:DET SAMP;:DET?;:DET RMS;:DET?;:SYST:ERR?;:DET:AUTO ON;"
         ":DISP:WIND:TRAC:MODE WRIT;MODE?;:AVER:COUN?",
         "MINH;SAMP;RMS;0,\"No error\";WRIT;1\n"},
        {"DISP:WIND:TRAC:MODE VIEW;MODE?", "VIEW\n"},
        {"UNIT:POW?;POW DBMV;:DISP:WIND:TRAC:Y:RLEV 26.9897;RLEV?", "DBM;26.990\n"},
        {"UNIT:POW V;:DISP:WIND:TRAC:Y:RLEV?;RLEV 0;:SYST:ERR?",
         "2.236068E-02;-222,\"Data out of range\"\n"},
        {"UNIT:POW FOO;:SYST:ERR?;:UNIT:POW DBM;:DISP:WIND:TRAC:Y:RLEV 0",
         "-224,\"Illegal parameter value\"\n"},
        {"INP:GAIN:STAT?;STAT ON;STAT?;STAT MAYBE;:SYST:ERR?",
         "0;1;-224,\"Illegal parameter value\"\n"},
        {"FORM?;:FORM:BORD?;:FORM REAL,64;:SYST:ERR?",
         "ASC,8;NORM;-224,\"Illegal parameter value\"\n"},
        {"CALC:MARK:MAX;X?;Y?;:CALC:MARK:MAX:NEXT;:CALC:MARK:X?;Y?",
         "921500000.000;-20.000;915000000.000;-30.000\n"},
        {"CALC:MARK:MAX:LEFT;:CALC:MARK:X?;:CALC:MARK:MAX:LEFT;:SYST:ERR?;:CALC:MARK:X?",
         "908500000.000;-200,\"Execution error\";908500000.000\n"},
        {"CALC:MARK:MAX:RIGH;:CALC:MARK:X?", "915000000.000\n"},
        {"CALC:MARK:X 908.5 MHZ;X?;Y?;X 5 GHZ;:SYST:ERR?",
         "908500000.000;-40.000;-222,\"Data out of range\"\n"},
        // no sweep has given the noise bandwidth of its filter yet
        {"CALC:MARK:FUNC:NOIS ON;NOIS?;:DET?;:CALC:MARK:Y?;:SYST:ERR?",
         "1;RMS;9.91E+37;-221,\"Settings conflict\"\n"},
        {"CALC:MARK:FUNC:NOIS OFF;:DET?;:CALC:DELT?;:CALC:DELT:X?;:SYST:ERR?",
         "POS;0;9.91E+37;-221,\"Settings conflict\"\n"},
        {"CALC:DELT ON;:CALC:MARK2:MAX;:CALC:DELT:X?;Y?", "13000000.000;20.000\n"},
        {"CALC:DELT OFF;:CALC:DELT?;:CALC:MARK2:X?;:SYST:ERR?",
         "0;9.91E+37;-221,\"Settings conflict\"\n"},
        {"CALC:MARK2 ON;:CALC:MARK2?;:CALC:DELT?;:CALC:MARK2:STAT OFF;:CALC:MARK2?;:CALC:MARK1?",
         "1;1;0;1\n"},
        {"CALC:MARK:AOFF;:CALC:MARK?;:CALC:MARK ON;:CALC:MARK:X?", "0;915000000.000\n"},
        {"CALC:MARK:COUN?;COUN:FREQ?;:SYST:ERR?", "0;9.91E+37;-221,\"Settings conflict\"\n"},
        {"CALC:MARK:COUN ON;COUN?;COUN:FREQ?;:SYST:ERR?",
         "1;9.91E+37;-230,\"Data corrupt or stale;NOT MEASURED\"\n"},
        // status: the request for service is bit 6 of the status byte
        {"*CLS;*ESE 32;*SRE 32;FOO;*STB?;*SRE?;:SYST:ERR:ALL?;ALL?",
         "100;32;-113,\"Undefined header\";0,\"No error\"\n"},
        {"*CLS;*OPC;*ESR?;:STAT:OPER:COND?;:STAT:OPER:ENAB 8;ENAB?", "1;0;8\n"},
        {"INIT;*WAI;:STAT:OPER?;:STAT:OPER?;:STAT:PRES;:STAT:OPER:ENAB?;:SYST:VERS?",
         "8;0;0;1999.0\n"},
        {"BAND 30 KHZ;:BAND:VID 1 KHZ;:DET AVER;:DISP:WIND:TRAC:MODE MAXH;:UNIT:POW W;:FORM REAL;"
         ":CALC:MARK:FUNC:NOIS ON;:CALC:DELT ON;:CALC:MARK:COUN ON",
         ""},
        {"*RST;:BAND:AUTO?;:BAND:VID:AUTO?;:DET?;:DISP:WIND:TRAC:MODE?;:UNIT:POW?;:FORM?;"
         ":CALC:MARK:FUNC:NOIS?;:CALC:DELT?;:CALC:MARK:COUN?;:INP:GAIN:STAT?",
         "1;1;POS;WRIT;DBM;ASC,8;0;0;0;1\n"},
    };
    for (const auto& row : rows) {
        FillTrace(400.0);
        EditTrace([](SweepTrace& t) {
            t.traceA[160] = 200.0, t.traceA[320] = 150.0, t.traceA[480] = 100.0;
        });
        EXPECT_EQ(Run(row.message), row.reply) << row.message;
    }
    // With the noise bandwidth of a sweep: the level less 10 log(1 kHz).
    EditTrace([](SweepTrace& t) { t.traceA[480] = 100.0; });
    doc->EditTrace([this](ScreenState& screen) { screen.basis.noiseBandwidthHz = 1000.0; });
    EXPECT_EQ(Run("CALC:MARK:MAX;:CALC:MARK:FUNC:NOIS ON;:CALC:MARK:Y?;:SYST:ERR?"),
              "-50.000;0,\"No error\"\n");
    // Averaged logarithmic rows read noise low by an unknown amount.
    EXPECT_EQ(Run("AVER:COUN 10;:CALC:MARK:Y?;:SYST:ERR?"),
              "-50.000;-231,\"Data questionable;VIDEO AVG\"\n");
    EXPECT_EQ(Run("AVER:COUN 1;:DISP:WIND:TRAC:MODE MAXH;:CALC:MARK:Y?;:SYST:ERR?"),
              "-50.000;-231,\"Data questionable;MAX HOLD\"\n");
    EXPECT_EQ(Run("DISP:WIND:TRAC:MODE MINH;:CALC:MARK:Y?;:SYST:ERR?"),
              "-50.000;-231,\"Data questionable;MIN HOLD\"\n");
    // The narrowest RBW asked of a wide span leaves a state that recalls as
    // it was saved.
    Run("BAND 0.1 HZ");
    const double ratio = doc->Settings().spanRbwRatio;
    ASSERT_TRUE(doc->SaveStateFile(cacheDir / "narrow.pqz"));
    ASSERT_TRUE(doc->LoadStateFile(cacheDir / "narrow.pqz"));
    EXPECT_EQ(doc->Settings().spanRbwRatio, ratio);
}

// Traces as IEEE 488.2 blocks of big-endian floats, or swapped; trace B
// as it was stored, or not-a-number with a conflict before anything was.
TEST_F(ScpiSessionTest, TracesAsBinaryBlocksAndTraceB) {
    session = std::make_unique<ScpiSession>(*doc);
    const auto firstFloat = [](const std::string& reply, bool swapped) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) {
            const auto byte = static_cast<std::uint8_t>(reply[6 + (swapped ? 3 - i : i)]);
            bits = bits << 8 | byte;
        }
        return std::bit_cast<float>(bits);
    };
    std::string reply = Run("FORM REAL,32;:TRAC?");
    ASSERT_EQ(reply.size(), 6u + 641 * 4 + 1);
    EXPECT_TRUE(reply.starts_with("#42564") && reply.ends_with("\n"));
    EXPECT_EQ(firstFloat(reply, false), -80.0f);
    EXPECT_EQ(firstFloat(Run("FORM:BORD SWAP;:TRAC? TRACE1"), true), -80.0f);
    EXPECT_EQ(firstFloat(Run("TRAC? TRACE2"), true), 9.91e37f);
    EXPECT_EQ(Run("SYST:ERR?"), "-221,\"Settings conflict\"\n");
    doc->EditTrace([this](ScreenState& screen) {
        screen.display.traceBRows.fill(250);
        screen.display.traceBBasis = TraceBasis::MeasuredOn(MarkerScale::From(doc->Settings()));
    });
    reply = Run("FORM ASC;:UNIT:POW DBUV;:TRAC:DATA? TRACE2");
    EXPECT_TRUE(reply.starts_with("56.990,56.990,")) << reply.substr(0, 20);
    EXPECT_EQ(std::ranges::count(reply, ','), 640);
}

// A frequency goes in and comes out as the screen shows it, at the
// converter's input: the downconverter offset is taken off what is set and
// added to what is read; the span is not moved.
TEST_F(ScpiSessionTest, FrequenciesAreThoseShownWithTheDownconverterOffset) {
    session = std::make_unique<ScpiSession>(*doc);
    doc->EditSettings([](InstrumentState& s) { s.freqOffsetHz = 1e9; });
    const struct {
        const char* message;
        const char* reply;
    } rows[] = {
        {"FREQ:CENT 1.915 GHZ;SPAN 20 MHZ;CENT?;SPAN?", "1915000000.000;20000000.000\n"},
        {"FREQ:STAR 1.905 GHZ;STOP 1.925 GHZ;STAR?;STOP?", "1905000000.000;1925000000.000\n"},
        {"CALC:MARK:MAX;X?", "1920000000.000\n"},
        {"CALC:MARK:SET:CENT;:FREQ:CENT?", "1920000000.000\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Run(row.message), row.reply) << row.message;
    }
    EXPECT_EQ(doc->Frequencies().CenterHz(), 920e6);
}

// Levels read through a table that cannot be right keep their number and
// queue the flag; positions do not.
TEST_F(ScpiSessionTest, LevelsOfAnUntrustedTableAreQuestionable) {
    calMemory.memory.fill(0xFF);
    std::filesystem::remove(cacheDir / "TV000123.kvo");  // the sound table cached at start
    doc->Preset();
    FillTrace(400.0);
    EditTrace([](SweepTrace& t) { t.traceA[480] = 100.0; });
    session = std::make_unique<ScpiSession>(*doc);
    Run("FREQ:STAR 905e6;STOP 925e6;:DISP:WIND:TRAC:Y:RLEV -20 DBM");
    EXPECT_EQ(Run("CALC:MARK:MAX;X?;:SYST:ERR?"), "920000000.000;0,\"No error\"\n");
    EXPECT_EQ(Run("CALC:MARK:Y?;:SYST:ERR?;*ESR?"),
              "-40.000;-231,\"Data questionable;UNCAL\";16\n");
}

// The socket: replies on the same connection, clients one after the other
// (one that comes meanwhile is told the instrument is busy),
// a line past the bound dropped and reported in the queue, and a line whose
// replies outgrow the output bound streamed whole without passing it.
TEST_F(ScpiSessionTest, ServerAnswersOnTheSameConnectionAndServesClientsInTurn) {
    ScpiServer server(*doc);
    ASSERT_TRUE(server.Enable({"127.0.0.1", 0}));
    {
        test::LoopbackClient client(server.Port());
        client.Send("FREQ:CENT 100 MHZ\r\nFREQ:CENT?\n");
        EXPECT_EQ(client.ReadLines(1), "100000000.000\n");
        client.Send(std::string(100000, 'x') + "\nSYST:ERR?\n");
        EXPECT_EQ(client.ReadLines(1), "-223,\"Too much data\"\n");
        std::string traces = "TRAC?";
        for (int i = 1; i < 2000; ++i) {
            traces += ";TRAC?";
        }
        client.Send(traces + "\n");
        const std::string reply =
            client.ReadLines(1, 120000);  // a bound against a hang, not a speed goal
        EXPECT_EQ(std::ranges::count(reply, ';'), 1999);
        EXPECT_EQ(std::ranges::count(reply, ','), 2000 * 640) << reply.size();
        EXPECT_LE(server.PeakPendingOutput(), TcpLineService::kLargestPendingOutput);
        test::LoopbackClient meanwhile(server.Port());
        EXPECT_EQ(meanwhile.ReadLines(1), std::string(ScpiServer::kBusyText) + "\n");
    }
    test::LoopbackClient next(server.Port());
    next.Send("*OPC?\n");
    EXPECT_EQ(next.ReadLines(1), "1\n");
    EXPECT_EQ(server.ClientsServed(), 1);
    server.Disable();
    EXPECT_FALSE(test::LoopbackClient(server.Port()).Connected());
}

}  // namespace
}  // namespace tavlin
