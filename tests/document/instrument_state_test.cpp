#include <cmath>

#include "document/document_fixture.h"
#include "sweep/rbw_rules.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

class InstrumentStateTest : public DocumentFixture {};

TEST_F(InstrumentStateTest, PresetGivesTheStartingState) {
    AnalyzerDocument& d = BuildWithInstrument();
    const FrequencyPair f = d.Frequencies();
    EXPECT_EQ(f.startHz, 902e6);
    EXPECT_EQ(f.stopHz, 928e6);
    EXPECT_EQ(d.state.rbwHz, 100000.0);
    EXPECT_EQ(d.state.attenDb, 10.0);
    EXPECT_EQ(d.state.refLevelDbm, 0.0);
    EXPECT_EQ(d.state.sweepTimeSec, 2.2);
    EXPECT_EQ(d.trace.traceAInt[640], 500);
    EXPECT_EQ(d.state.deviceSerial, "TV000123");
    EXPECT_EQ(d.state.firmwareVersion, "Tavlin 2.03");
    EXPECT_EQ(d.engine.peakFreqHint.load(), -1.0);
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(InstrumentStateTest, PresetLeavesTheUsersOwnChoicesAlone) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.state.freqOffsetHz = 1e9;
    d.state.preampOn = true;
    d.state.realtimeMode = 1;
    d.state.title = "DUT 7";
    d.markers.marker1Pos = 915e6;
    d.markers.marker1On = 1;
    d.state.maxFmOffsetHz = 5000.0;
    d.Preset();
    EXPECT_EQ(d.state.freqOffsetHz, 1e9);
    EXPECT_TRUE(d.state.preampOn);
    EXPECT_EQ(d.state.realtimeMode, 1);
    EXPECT_EQ(d.state.title, "DUT 7");
    EXPECT_EQ(d.markers.marker1Pos, 915e6);
    EXPECT_EQ(d.markers.marker1On, 0);
    EXPECT_EQ(d.state.maxFmOffsetHz, 5000.0);
}

TEST_F(InstrumentStateTest, FirmwareTextDecidesWhetherAPreampIsFitted) {
    const std::pair<const char*, bool> cases[] = {
        {"Tavlin 2.03", true}, {"Tavlin 1.52", false}, {"1.40", true}, {"", true}};
    for (const auto& [text, fitted] : cases) {
        firmware = text;
        usb.devices.clear();
        doc.reset();
        EXPECT_EQ(BuildWithInstrument().state.preampAvailable, fitted) << text;
    }
}

TEST_F(InstrumentStateTest, PresetProgramsTheLevelPlanAndForgetsTheIfPath) {
    AnalyzerDocument& d = BuildWithInstrument();
    usb.ClearWrites();
    d.Preset();
    const auto commands = CommandsSent();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0][0], 'I');
    EXPECT_EQ(commands[0][1], 0x06);
    EXPECT_EQ(commands[1][1], 0x0C);
    EXPECT_EQ(commands[2], (Bytes{'A', 2}));
    EXPECT_EQ(d.link.IfPathSent(), 2);
    EXPECT_EQ(d.link.slowDevice.load(), 0);
}

TEST_F(InstrumentStateTest, CentreOutsideTheBandResetsWithAMessage) {
    AnalyzerDocument& d = BuildWithInstrument();
    for (double centre : {5e9, -1.0, std::nan("")}) {
        prompter.Clear();
        d.SetCenterSpan(centre, 1e6);
        const FrequencyPair f = d.Frequencies();
        EXPECT_EQ(f.startHz, 2400000000.0);
        EXPECT_EQ(f.stopHz, 2400100000.0);
        ASSERT_EQ(prompter.Count(), 1u);
        EXPECT_EQ(prompter.Boxes()[0].text, "CF out of bounds. Reset.");
        EXPECT_EQ(prompter.Boxes()[0].caption, "INVALID SETTING");
    }
}

TEST_F(InstrumentStateTest, SpanIsShrunkAroundTheCentreAtBothBandEdges) {
    AnalyzerDocument& d = BuildWithInstrument();
    struct Case {
        double centre, span, start, stop;
    };
    const Case cases[] = {
        {100e6, 1e9, 0.0, 200e6},     // start clamped, centre kept
        {4.3e9, 1e9, 4.2e9, 4.4e9},   // stop clamped, centre kept
        {1.5e9, 7e9, 0.0, 3e9},       // stop clamped pushes the start below zero
        {915e6, 26e6, 902e6, 928e6},  // inside: untouched
    };
    for (const Case& c : cases) {
        d.SetCenterSpan(c.centre, c.span);
        const FrequencyPair f = d.Frequencies();
        EXPECT_DOUBLE_EQ(f.startHz, c.start) << c.centre << " " << c.span;
        EXPECT_DOUBLE_EQ(f.stopHz, c.stop) << c.centre << " " << c.span;
        EXPECT_EQ(d.state.rbwHz, d.PredictRbw(f.SpanHz()));
    }
    EXPECT_EQ(prompter.Count(), 0u);
}

TEST_F(InstrumentStateTest, EdgeEntriesKeepStopAboveStartAndInsideTheBand) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetStopFreq(800e6);  // below the start of 902 MHz
    EXPECT_EQ(d.Frequencies().startHz, 800e6 - 100e3);
    d.SetStartFreq(900e6);  // above the stop of 800 MHz
    EXPECT_EQ(d.Frequencies().stopHz, 900e6 + 100e3);

    d.SetStopFreq(50e3);  // the separation would put the start at -50 kHz
    EXPECT_EQ(d.Frequencies().startHz, 0.0);
    EXPECT_EQ(d.Frequencies().stopHz, 100e3);

    d.SetFrequencies(4.3e9, 4.35e9);
    d.SetStartFreq(5e9);  // clamped to 4.4 GHz, then the stop would leave the band
    EXPECT_EQ(d.Frequencies().stopHz, 4.4e9);
    EXPECT_EQ(d.Frequencies().startHz, 4.4e9 - 100e3);

    d.SetFrequencies(1e9, 2e9);
    d.SetStopFreq(1e9);  // start equal to stop is zero span, and legal
    EXPECT_EQ(d.Frequencies().SpanHz(), 0.0);
    EXPECT_FALSE(std::isnan(d.Frequencies().startHz));
}

TEST_F(InstrumentStateTest, ResolutionBandwidthRules) {
    EXPECT_EQ(PredictRbw(26e6, 80, 0, 0), 100000.0);
    EXPECT_EQ(PredictRbw(300e6, 80, 0, 0), 5e6);
    EXPECT_EQ(PredictRbw(100, 80, 0, 0), 0.8);
    EXPECT_EQ(PredictRbw(10, 80, 0, 0), 0.1);
    EXPECT_EQ(PredictRbw(30, 80, 0, 0), 0.2);
    EXPECT_EQ(PredictRbw(79.9, 80, 0, 0), 0.4);
    // The FFT kinds' choice (the engine's own test has its rules); no
    // decimation fits at all: the 512-point default.
    EXPECT_DOUBLE_EQ(PredictRbw(10e3, 80, 0, 0), 1638400.0 / 13 / 1024);
    EXPECT_EQ(PredictRbw(200e3, 80, 200e3, 0), 3200.0);
    // Step-sweep table.
    EXPECT_EQ(PredictRbw(700e3, 80, 0, 0), 6500.0);
    EXPECT_EQ(PredictRbw(1.6e6, 80, 0, 0), 25000.0);
    EXPECT_EQ(PredictRbw(200e6, 80, 0, 0), 250000.0);
    // A ratio that is 0, negative or not a number acts as 80.
    for (double ratio : {0.0, -5.0, std::nan(""), HUGE_VAL}) {
        EXPECT_EQ(PredictRbw(26e6, ratio, 0, 0), 100000.0) << ratio;
    }
    EXPECT_EQ(ZeroSpanRbw(0.010), 240000.0);
    EXPECT_EQ(ZeroSpanRbw(0.1348), 240000.0);
    EXPECT_EQ(ZeroSpanRbw(0.500), 60000.0);
}

TEST_F(InstrumentStateTest, LevelPlanRaisesAttenuationButNeverLowersIt) {
    AnalyzerDocument& d = BuildWithInstrument();
    struct Case {
        double start, ref, attenBefore, attenAfter;
    };
    const Case cases[] = {
        {902e6, 12.0, 0.0, 15.0}, {902e6, 8.0, 0.0, 10.0}, {902e6, -20.0, 0.0, 0.0},
        {10e6, 8.0, 0.0, 15.0},   {10e6, -3.0, 0.0, 10.0}, {10e6, -20.0, 15.0, 15.0},
    };
    for (const Case& c : cases) {
        d.SetFrequencies(c.start, c.start + 10e6);
        d.state.refLevelDbm = c.ref;
        d.state.attenDb = c.attenBefore;
        usb.ClearWrites();
        d.ApplyLevelPlan();
        EXPECT_EQ(d.state.attenDb, c.attenAfter) << c.start << " " << c.ref;
        const auto commands = CommandsSent();
        ASSERT_EQ(commands.size(), 3u);
        EXPECT_EQ(commands[2], (Bytes{'A', static_cast<std::uint8_t>(c.attenAfter / 5)}));
    }
}

TEST_F(InstrumentStateTest, LevelPlanChoosesTheGainStateAroundTheCorrection) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetFrequencies(902e6, 928e6);
    d.state.attenDb = 10.0;
    d.state.gainMode = 1;
    const double g = d.AmplitudeCorrection(915e6);
    const std::pair<double, int> cases[] = {
        {g + 10.0 - 5.0 + 0.5, 0}, {g + 10.0 - 5.0 - 0.5, 1}, {g + 10.0 - 17.0 - 0.5, 2}};
    for (const auto& [ref, gain] : cases) {
        if (ref > 10.0) {
            continue;  // would raise the attenuator and move the thresholds
        }
        d.state.refLevelDbm = ref;
        d.state.attenDb = 10.0;
        d.ApplyLevelPlan();
        EXPECT_EQ(d.state.gainMode, gain) << ref;
    }
    const Bytes gainBytes[3][2] = {{{'I', 0x06, 0x80}, {'I', 0x0C, 0x00}},
                                   {{'I', 0x06, 0x00}, {'I', 0x0C, 0x00}},
                                   {{'I', 0x06, 0x00}, {'I', 0x0C, 0x80}}};
    usb.ClearWrites();
    d.ApplyLevelPlan();
    const auto commands = CommandsSent();
    EXPECT_EQ(commands[0], gainBytes[d.state.gainMode][0]);
    EXPECT_EQ(commands[1], gainBytes[d.state.gainMode][1]);
}

}  // namespace
}  // namespace tavlin
