#include "remote/scpi_session.h"

#include <algorithm>
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
        {"MARK2:MAX;X?;:CALC:MARK3:X?;:SYST:ERR?",
         "920000000.000;9.91E+37;-114,\"Header suffix out of range\"\n"},
        {"CALC:MARK1:SET:CENT;:FREQ:CENT?", "920000000.000\n"},
        {"MMEM:STOR:STAT 1,'../x.pqz';:MMEM:LOAD:STAT \"absent.pqz\";:SYST:ERR?;ERR?",
         "-257,\"File name error\";-256,\"File name not found\"\n"},
        {"MEAS:CHP:STAT ON;STAT?;:MEAS:OBW:STAT?;STAT 1;STAT?;:MEAS:CHP:STAT OFF;STAT?",
         "1;0;1;0\n"},
        {"MMEM:LOAD:LIM 'absent.csv';:CALC:LIM:FAIL?;:SYST:ERR?;ERR?",
         "9.91E+37;-256,\"File name not found\";-221,\"Settings conflict\"\n"},
        // status: a command error sets bit 5 of the event register, which
        // reaches the status byte once enabled; bit 2 is a queue not empty
        {"*CLS;FOO;*ESE 32;*STB?;*ESR?;*STB?", "36;32;4\n"},
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
