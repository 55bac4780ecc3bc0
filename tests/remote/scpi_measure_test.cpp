#include <algorithm>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/utility_runner.h"
#include "e2e/virtual_unit_fixture.h"
#include "remote/scpi_session.h"
#include "utilities/utility_session.h"

namespace tavlin::test {
namespace {

// The numbers of a one-query reply.
std::vector<double> Fields(std::string reply) {
    std::ranges::replace(reply, ',', ' ');
    std::istringstream in(reply);
    return {std::istream_iterator<double>(in), std::istream_iterator<double>()};
}

std::string NaNs(int count) {
    std::string text = "9.91E+37";
    for (int i = 1; i < count; ++i) {
        text += ",9.91E+37";
    }
    return text + "\n";
}

class ScpiMeasureTest : public VirtualUnitTest {
  protected:
    void Open() {
        Start(sim::DefaultScene());
        session = std::make_unique<ScpiSession>(*doc);
        runner = std::make_unique<UtilityRunner>(*doc);
        session->SetUtilityRunner(runner.get());
    }
    std::string Run(const std::string& message) { return session->Execute(message); }
    // The replies of a message, then every error it queued.
    std::string RunAndErrors(const std::string& message) {
        std::string text = Run(message);
        for (std::string e = Run("SYST:ERR?"); e != "0,\"No error\"\n"; e = Run("SYST:ERR?")) {
            text += e;
        }
        return text;
    }

    std::unique_ptr<UtilityRunner> runner;
    std::unique_ptr<ScpiSession> session;
};

// A client reads one line per query: a query that cannot be answered
// answers not-a-number, once per value it would have given, and says why in
// the queue.
TEST_F(ScpiMeasureTest, EveryQueryAnswersOnePerValueWithItsError) {
    Open();
    session->SetUtilityRunner(nullptr);
    const struct {
        const char* message;
        int nans;
        const char* errors;
    } rows[] = {
        {"CALC:MARK2:Y?", 1, "-221,\"Settings conflict\"\n"},
        {"INIT?", 1, "-113,\"Undefined header\"\n"},
        {"*FOO?", 1, "-113,\"Undefined header\"\n"},
        {"FREQ::CENT?", 1, "-102,\"Syntax error\"\n"},
        {"TRAC? TRACE9", 641, "-224,\"Illegal parameter value\"\n"},
        {"MEAS:REC?", 11, "-221,\"Settings conflict\"\n"},
        {"MEAS:REC? 0", 11, "-222,\"Data out of range\"\n"},
        {"MEAS:HARM?", 20, "-221,\"Settings conflict\"\n"},
        {"MEAS:PNO?", 1442, "-221,\"Settings conflict\"\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RunAndErrors(row.message), NaNs(row.nans) + row.errors) << row.message;
    }
}

// FETCh reads the last sweep, READ sweeps first, MEASure switches the
// measurement on and sweeps. A step span draws power-averaged rows only
// while a measurement is on: swept without, it has no reading.
TEST_F(ScpiMeasureTest, MeasureReadAndFetchOfChannelPowerAndOccupiedBandwidth) {
    Open();
    Run("FREQ:CENT 915 MHZ;SPAN 2 MHZ");
    EXPECT_EQ(RunAndErrors("FETC:CHP?"), NaNs(2) + "-230,\"Data corrupt or stale\"\n");
    EXPECT_EQ(RunAndErrors("READ:CHP?"), NaNs(2) + "-221,\"Settings conflict\"\n");
    EXPECT_EQ(RunAndErrors("READ:OBW?"), NaNs(2) + "-221,\"Settings conflict\"\n");
    const std::vector<double> power = Fields(RunAndErrors("MEAS:CHP?"));
    ASSERT_EQ(power.size(), 2u);
    EXPECT_NEAR(power[0], -25.0, 1.0) << "the 915 MHz carrier of the default scene";
    EXPECT_NEAR(power[1], power[0] - 60.0, 0.01) << "over the 1 MHz channel, half the span";
    EXPECT_EQ(Run("MEAS:CHP:STAT?;:MEAS:OBW:STAT?"), "1;0\n");
    const std::vector<double> band = Fields(RunAndErrors("MEAS:OBW?"));
    ASSERT_EQ(band.size(), 2u);
    EXPECT_LT(band[0], 100e3);
    EXPECT_NEAR(band[1], 0.0, 10e3);
    EXPECT_EQ(Fields(Run("FETC:OBW?")), band);
    EXPECT_FALSE(doc->SweepRunning());
    const UtilitySession dialog(*doc);  // the window's utility holds the instrument
    EXPECT_EQ(RunAndErrors("READ:OBW?"), NaNs(2) + "-221,\"Settings conflict\"\n");
}

// The receiver at the centre of each modulated carrier of the default
// scene: 919.25 MHz, AM 50 % at 1 kHz; 924.6 MHz, FM 25 kHz at 1 kHz, which
// needs the 120 kHz IF. A block not shown is not-a-number.
TEST_F(ScpiMeasureTest, ReceiverFieldsReadTheScenesModulatedCarriers) {
    Open();
    EXPECT_EQ(RunAndErrors("REC:IFB?;AFIL?;SHOW:AM?;:REC:SHOW:FM?;:REC:IFB 100 KHZ"),
              "15000.000;BPAS;0;1\n-224,\"Illegal parameter value\"\n");
    struct Row {
        const char* name;
        const char* setup;
        double carrierHz;
        double toleranceHz;  // FM: the capture holds no whole number of tone cycles
        int firstShown;      // field index of the block shown
        double rms;          // Hz or %
        const char* errors;
    };
    const std::vector<Row> rows = {
        {"FM", "REC:IFB 120 KHZ;:FREQ:CENT 924.6 MHZ", 924.6e6, 20.0, 3, 25000.0 / std::sqrt(2.0),
         "-230,\"Data corrupt or stale;NOT MEASURED\"\n"},
        {"FM in too narrow an IF", "REC:IFB 15E3;:FREQ:CENT 924.6 MHZ", 924.6e6, 1e3, 3, -1.0,
         "-231,\"Data questionable;BEYOND FILTER\"\n-230,\"Data corrupt or stale;NOT "
         "MEASURED\"\n"},
        {"AM", "REC:AFIL LPAS;SHOW:AM ON;FM OFF;:FREQ:CENT 919.25 MHZ", 919.25e6, 2.0, 7,
         50.0 / std::sqrt(2.0), "-230,\"Data corrupt or stale;NOT MEASURED\"\n"},
    };
    for (const Row& row : rows) {
        Run(row.setup);
        const std::string reply = Run("MEAS:REC? 2");
        const std::vector<double> f = Fields(reply);
        ASSERT_EQ(f.size(), 11u) << row.name << ": " << reply;
        EXPECT_NEAR(f[0], row.carrierHz, row.toleranceHz) << row.name;
        EXPECT_NEAR(f[1], 0.0, 0.5) << row.name << ": relative to the first capture";
        const auto hidden = f.begin() + (row.firstShown == 3 ? 7 : 3);
        EXPECT_EQ(std::vector(hidden, hidden + 4), std::vector(4, 9.91e37)) << row.name;
        if (row.rms > 0.0) {
            EXPECT_NEAR(f[row.firstShown], row.rms, 0.03 * row.rms) << row.name;
            EXPECT_NEAR(f[row.firstShown + 3], 1000.0, 1.0) << row.name << ": audio";
        }
        EXPECT_EQ(RunAndErrors(""), row.errors) << row.name;
    }
}

// Harmonics 5 to 10 of 915 MHz lie beyond 4.4 GHz: not measured.
TEST_F(ScpiMeasureTest, HarmonicsAndPhaseNoiseCurves) {
    Open();
    Run("FREQ:CENT 915 MHZ;SPAN 1 MHZ");
    const std::vector<double> h = Fields(Run("MEAS:HARM?"));
    ASSERT_EQ(h.size(), 20u);
    for (int n = 1; n <= 10; ++n) {
        EXPECT_NEAR(h[2 * n - 2], n * 915e6, 1e6) << "harmonic " << n;
        EXPECT_EQ(h[2 * n - 1] == 9.91e37, n >= 5) << "harmonic " << n;
    }
    EXPECT_NEAR(h[1], -25.0, 1.5);
    EXPECT_NE(RunAndErrors("").find("NOT MEASURED"), std::string::npos);

    const std::vector<double> p = Fields(Run("MEAS:PNO?"));
    ASSERT_EQ(p.size(), 1442u);
    EXPECT_EQ(p.front(), 1.0);
    EXPECT_EQ(p[1440], 1e6);
    for (std::size_t i = 2; i < p.size(); i += 2) {
        ASSERT_GT(p[i], p[i - 2]) << "offsets rise";
        ASSERT_LT(p[i + 1], 0.0) << "dBc/Hz at " << p[i];
    }
}

// The listener into a WAV file of the working directory: its length is the
// seconds asked; a name, length or mode refused records nothing.
TEST_F(ScpiMeasureTest, ListenerRecordsAWavFileOfTheLengthAsked) {
    Open();
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(cacheDir);
    Run("FREQ:CENT 919.25 MHZ");
    EXPECT_EQ(RunAndErrors("MMEM:STOR:AUD \"am.wav\",0.5,AM;:MMEM:STOR:AUD 'fm.wav',0.25"), "");
    const struct {
        const char* message;
        const char* error;
    } refused[] = {
        {"MMEM:STOR:AUD \"../x.wav\",1", "-257,\"File name error\"\n"},
        {"MMEM:STOR:AUD \"x.wav\",0", "-222,\"Data out of range\"\n"},
        {"MMEM:STOR:AUD \"x.wav\",1,SSB", "-224,\"Illegal parameter value\"\n"},
        {"FREQ:CENT 50 KHZ;:MMEM:STOR:AUD \"x.wav\",1", "-250,\"Mass storage error\"\n"},
    };
    for (const auto& row : refused) {
        EXPECT_EQ(RunAndErrors(row.message), row.error) << row.message;
    }
    EXPECT_EQ(std::filesystem::file_size("am.wav"), 44u + 30382u * 2u);
    EXPECT_EQ(std::filesystem::file_size("fm.wav"), 44u + 15192u * 2u);
    EXPECT_FALSE(std::filesystem::exists("x.wav"));
    session->StopWaiting();  // the server goes off: a long recording ends at once
    EXPECT_EQ(RunAndErrors("FREQ:CENT 919.25 MHZ;:MMEM:STOR:AUD 'x.wav',60"),
              "-250,\"Mass storage error\"\n");
    std::filesystem::current_path(before);
}

}  // namespace
}  // namespace tavlin::test
