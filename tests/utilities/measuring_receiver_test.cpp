#include <cstdio>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "e2e/virtual_unit_fixture.h"
#include "utilities/receiver/measuring_receiver.h"
#include "utilities/utility_session.h"

namespace tavlin::test {
namespace {

// The number after a label in the results text.
double Value(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    return at == std::string::npos ? -1e99 : std::atof(text.c_str() + at + label.size());
}

class MeasuringReceiverTest : public VirtualUnitTest {
  protected:
    // The text of the last of passes passes at centreHz.
    std::string Measure(double centreHz, const ReceiverControls& controls, int passes = 1) {
        doc->SetCenterSpan(centreHz, 200e3);
        Sweep();  // the clock mode of that centre, as the screen had it
        UtilitySession session(*doc);
        std::string last;
        MeasuringReceiver receiver(session.Instrument(),
                                   {[&last](const std::string& t) { last = t; }, nullptr});
        receiver.SetControls(controls);
        EXPECT_TRUE(receiver.Run(passes));
        return last;
    }
};

TEST_F(MeasuringReceiverTest, ReadsCarrierAndModulationOfTonesOnEveryTuning) {
    struct Row {
        const char* name;
        double freqHz;
        bool fm;
        double tcxoPpb;
    };
    const std::vector<Row> rows = {
        {"FM, 10.7 MHz path", 433.92e6, true, 0.0},
        {"FM, mirrored clock mode 1", kNear653Hz, true, 0.0},
        {"FM, reference error", 915.3e6, true, 1500.0},
        {"FM, 2.9 MHz path, low band", 47.1e6, true, 0.0},
        {"AM, 10.7 MHz path", 100.2e6, false, 0.0},
        {"AM, mirrored clock mode 1", kNear653Hz, false, -800.0},
    };
    for (const Row& row : rows) {
        sim::SceneEmitter e = Cw(row.freqHz, -40.0);
        if (row.fm) {
            e.fm = sim::SceneFm{1234.0, 4000.0};
        } else {
            e.am = sim::SceneAm{789.0, 0.6};
        }
        Start({e}, {-160.0, row.tcxoPpb});
        ReceiverControls controls;
        controls.showAm = !row.fm;
        controls.showFm = row.fm;
        controls.bandPass = false;
        controls.lowPassCutoffHz = 3000.0;
        const std::string text = Measure(row.freqHz, controls);
        EXPECT_NEAR(Value(text, "RF COUNTER: "), row.freqHz, 1.0) << row.name << "\n" << text;
        if (row.fm) {
            EXPECT_NEAR(Value(text, "FM RMS: "), 4000.0 / std::sqrt(2.0), 0.02 * 2828.4)
                << row.name;
            EXPECT_NEAR(Value(text, "Audio Freq: "), 1234.0, 1.234) << row.name;
        } else {
            // The depth from the RMS: the peaks carry the sampler's own noise.
            EXPECT_NEAR(Value(text, "RMS: ") * std::sqrt(2.0), 60.0, 0.6) << row.name << "\n"
                                                                          << text;
            EXPECT_NEAR(Value(text, "Audio Freq: "), 789.0, 0.789) << row.name;
        }
    }
}

// FM wider than the IF bandwidth (Carson's rule) or a tone outside the audio
// filter reads low with nothing in the numbers to show it: the results say
// so and name the setting that fits. Where it fits, the peak reads true.
TEST_F(MeasuringReceiverTest, ModulationBeyondItsFiltersSaysSoAndNamesTheSettingThatFits) {
    struct Row {
        const char* name;
        double deviationHz, rateHz;
        const char* ifBandwidth;
        bool bandPass;
        double filterHz;
        const char* advice;
    };
    const Row rows[] = {
        {"23 kHz wide in 15 KHz", 10e3, 1500.0, "15 KHz", false, 3000.0, "IF Bandwidth 30 KHz"},
        {"23 kHz wide in 30 KHz", 10e3, 1500.0, "30 KHz", false, 3000.0, ""},
        {"53 kHz wide in 15 KHz", 25e3, 1500.0, "15 KHz", false, 3000.0, "IF Bandwidth 60 KHz"},
        {"53 kHz wide in 60 KHz", 25e3, 1500.0, "60 KHz", false, 3000.0, ""},
        {"700 Hz tone, 1 kHz band", 3000.0, 700.0, "15 KHz", true, 1000.0,
         "Audio Band Pass Fc=700 Hz"},
        {"1 kHz tone, 1 kHz band", 3000.0, 1000.0, "15 KHz", true, 1000.0, ""},
        {"2.5 kHz tone, 2 kHz low-pass", 3000.0, 2500.0, "15 KHz", false, 2000.0,
         "Audio Low Pass Fc=5000 Hz"},
        // The audio filter is judged once the IF fits.
        {"both, 15 KHz", 10e3, 1500.0, "15 KHz", true, 1000.0, "IF Bandwidth 30 KHz"},
        {"both, 30 KHz", 10e3, 1500.0, "30 KHz", true, 1000.0, "Audio Band Pass Fc=1500 Hz"},
    };
    for (const Row& row : rows) {
        sim::SceneEmitter e = Cw(433.92e6, -40.0);
        e.fm = sim::SceneFm{row.rateHz, row.deviationHz};
        Start({e});
        ReceiverControls controls;
        controls.ifBandwidth = row.ifBandwidth;
        controls.bandPass = row.bandPass;
        controls.bandPassCentreHz = controls.lowPassCutoffHz = row.filterHz;
        const std::string text = Measure(433.92e6, controls);
        const std::string advice = std::string(row.advice);
        if (advice.empty()) {
            EXPECT_EQ(text.find("BEYOND FILTER"), std::string::npos) << row.name << "\n" << text;
            EXPECT_NEAR(Value(text, "PEAK+: "), row.deviationHz, 0.03 * row.deviationHz)
                << row.name;
        } else {
            EXPECT_NE(text.find("BEYOND FILTER: " + advice + "\r\n"), std::string::npos)
                << row.name << "\n"
                << text;
        }
    }
}

TEST_F(MeasuringReceiverTest, ResultTextHasTheDialogsLayoutAndRelativePowerStartsAtZero) {
    Start({Cw(433.92e6, -40.0)});
    ReceiverControls controls;
    controls.showAm = true;
    const std::string text = Measure(433.92e6, controls, 3);
    const std::regex layout(
        "RF COUNTER: -?\\d+\\.\\d\\d Hz\r\n\r\n"
        "FM RMS: \\d+\\.\\d\\d Hz\r\n   RMS\\(RT2\\): \\d+\\.\\d\\d Hz\r\n"
        "   PEAK\\+: -?\\d+\\.\\d Hz\r\n   PEAK-: -?\\d+\\.\\d Hz\r\n"
        "   Audio Freq: \\d+\\.\\d{3} Hz\r\n\r\n"
        "AM PEAK\\+: -?\\d+\\.\\d\\d% \r\n   PEAK-: -?\\d+\\.\\d\\d% \r\n   RMS: \\d+\\.\\d{3}%\r\n"
        "   Audio Freq: \\d+\\.\\d{3} Hz\r\n\r\n"
        "Relative Power: -?0\\.0\\d\\d dBc\r\nAveraged: -?0\\.0\\d\\d dBc\r\n");
    EXPECT_TRUE(std::regex_match(text, layout)) << text;
}

// Relative power against the first pass, as a generator steps the carrier
// down 3 dB and then 10 dB; then, on a weak carrier, "Cal Range" moves to
// the sensitive range and the reading carries on where it was (the noise
// in the IF bandwidth is part of it), marked "*".
TEST_F(MeasuringReceiverTest, RelativePowerFollowsLevelStepsAndSurvivesARangeChange) {
    Start(std::vector<sim::SceneEmitter>{});
    unit->SetBenchSignal(Cw(433.92e6, -40.0));
    doc->SetCenterSpan(433.92e6, 200e3);
    Sweep();
    UtilitySession session(*doc);
    std::vector<std::string> texts;
    bool calRangeShown = false;
    MeasuringReceiver* running = nullptr;
    const auto onPass = [&](const std::string& text) {
        texts.push_back(text);
        const std::map<std::size_t, double> levelAfterPass = {{2, -43.0}, {4, -50.0}, {6, -75.0}};
        if (const auto step = levelAfterPass.find(texts.size()); step != levelAfterPass.end()) {
            unit->SetBenchSignal(Cw(433.92e6, step->second));
        }
        if (texts.size() == 8) {
            running->RequestRangeChange();
        }
    };
    MeasuringReceiver receiver(session.Instrument(),
                               {onPass, [&](bool shown) { calRangeShown |= shown; }});
    running = &receiver;
    ASSERT_TRUE(receiver.Run(12));
    const auto relative = [&](std::size_t pass) { return Value(texts[pass - 1], "Power: "); };
    EXPECT_NEAR(relative(2), 0.0, 0.1);
    EXPECT_NEAR(relative(3), -3.0, 0.1) << texts[2];
    EXPECT_NEAR(relative(5), -10.0, 0.1) << texts[4];
    EXPECT_TRUE(calRangeShown);
    EXPECT_EQ(texts[7].find("*Relative Power: "), std::string::npos) << texts[7];
    EXPECT_NE(texts[11].find("\r\n*Relative Power: "), std::string::npos) << texts[11];
    EXPECT_NEAR(relative(12), relative(8), 0.1) << texts[11];
}

TEST_F(MeasuringReceiverTest, StopReturnsOnceTheWorkerHasEnded) {
    Start({Cw(433.92e6, -40.0)});
    UtilitySession session(*doc);
    std::atomic<int> passes{0};
    MeasuringReceiver receiver(session.Instrument(),
                               {[&passes](const std::string&) { ++passes; }, nullptr});
    receiver.Start();
    while (passes.load() == 0) {
        std::this_thread::yield();
    }
    receiver.Stop();
    const int seen = passes.load();
    EXPECT_FALSE(receiver.Running());
    EXPECT_EQ(passes.load(), seen);
}

TEST(ReceiverControlsTest, BandwidthChoosesDecimationAndFiltersNeedABand) {
    EXPECT_EQ(DecimationForBandwidth("240 KHz"), 1);
    EXPECT_EQ(DecimationForBandwidth("30 KHz"), 8);
    EXPECT_EQ(DecimationForBandwidth("15 KHz"), 16);
    EXPECT_EQ(DecimationForBandwidth("wide"), 16);
    ReceiverControls controls;
    EXPECT_EQ(ControlsRefusal(controls, 16), "");
    controls.bandPassCentreHz = 0.0;
    EXPECT_NE(ControlsRefusal(controls, 16), "");
    controls.bandPass = false;
    controls.lowPassCutoffHz = 20000.0;  // beyond half of 30.4 kHz
    EXPECT_NE(ControlsRefusal(controls, 16), "");
    EXPECT_EQ(ControlsRefusal(controls, 1), "");
}

TEST(ReceiverAnalysisTest, ACaptureOfZerosReadsWithoutFailing) {
    ReceiverAnalysis analysis;
    analysis.Restart();
    const std::vector<std::int32_t> zeros(ReceiverAnalysis::kSamples, 0);
    ReceiverTuning tuning;
    tuning.sampleRateHz = 486111.1111;
    ReceiverControls controls;
    controls.showAm = true;
    for (int pass = 0; pass < 2; ++pass) {
        const std::string text = analysis.Process(zeros, zeros, tuning, controls);
        EXPECT_EQ(text.find("nan"), std::string::npos) << text;
        EXPECT_EQ(text.find("inf"), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace tavlin::test
