#include <cmath>

#include "document/document_fixture.h"
#include "document/state_file.h"

namespace tavlin {
namespace {

using test::DocumentFixture;

class InstrumentStateTest : public DocumentFixture {};

TEST_F(InstrumentStateTest, HalfAnInstrumentRunsOnWithoutCachingAnEmptyTable) {
    usb.devices.push_back({test::ScriptedUsbDriver::Info("Tavlin A"), 0});
    usb.devices.push_back({test::ScriptedUsbDriver::Info("Tavlin A"), 0});
    AnalyzerDocument& d = Build();
    EXPECT_FALSE(d.CloseRequested());
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].text, "Devices not found!");
    EXPECT_EQ(d.Frequencies().startHz, 902e6) << "preset still runs";
    EXPECT_FALSE(std::filesystem::exists(cacheDir / ".kvo"));
}

// The whole preset state, compared through what a state file holds.
TEST_F(InstrumentStateTest, PresetGivesTheStartingStateAndKeepsTheUsersOwnChoices) {
    AnalyzerDocument& d = BuildWithInstrument();
    d.SetCenterSpan(100e6, 1e6);
    d.EditSettings([](InstrumentState& s) {
        s.refLevelDbm = -30.0;
        s.dbPerDiv = 5.0;
        s.attenDb = 0.0;
        s.freqOffsetHz = 1e9;  // the user's own from here: kept
        s.preampOn = true;
        s.realtimeMode = 1;
        s.title = "DUT 7";
    });
    FillTrace(100.0);
    MarkerCommands(d).SetMarkerFreq(915e6);  // -40 dBm; the position is kept, the marker goes off
    usb.ClearWrites();
    d.Preset();

    StateRecord expected;
    expected.startFreqHz = 902e6;
    expected.stopFreqHz = 928e6;
    expected.refLevelDbm = 0.0;
    expected.dbPerDiv = 10.0;
    expected.attenDb = 10.0;
    expected.rbwHz = 100000.0;
    expected.sweepTimeSec = 2.2;
    expected.traceA.fill(500.0);
    expected.peakFreqHint = -1.0;
    expected.realtimeMode = true;
    expected.title = "DUT 7";
    expected.marker1Pos = 915e6;
    expected.marker1Level = -40.0;
    ASSERT_TRUE(d.SaveStateFile(cacheDir / "preset.pqz"));
    EXPECT_EQ(ReadBytes(cacheDir / "preset.pqz"), EncodeStateFile(expected));
    EXPECT_EQ(d.Settings().freqOffsetHz, 1e9);
    EXPECT_TRUE(d.Settings().preampOn);
    // The level plan is programmed and the cached IF path forgotten.
    const auto commands = CommandsSent();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0], (Bytes{'I', 0x06, 0x80}));
    EXPECT_EQ(commands[2], (Bytes{'A', 2}));
    EXPECT_EQ(d.link.IfPathSent(), 2);
}

// Entries keep the pair inside the band with stop above start: a centre
// outside resets to 2.4 GHz with a message, a span is shrunk around the
// centre, and an edge moved past the other pushes it 100 kHz away.
TEST_F(InstrumentStateTest, FrequencyEntriesStayInsideTheBand) {
    AnalyzerDocument& d = BuildWithInstrument();
    enum Entry { kCentreSpan, kStart, kStop };
    const struct {
        Entry entry;
        double value, span, start, stop;
    } rows[] = {
        {kCentreSpan, 5e9, 1e6, 2.4e9, 2.4001e9},
        {kCentreSpan, NAN, 1e6, 2.4e9, 2.4001e9},
        {kCentreSpan, 100e6, 1e9, 0.0, 200e6},
        {kCentreSpan, 4.3e9, 1e9, 4.2e9, 4.4e9},
        {kCentreSpan, 1.5e9, 7e9, 0.0, 3e9},  // the stop clamped pushes the start below zero
        {kCentreSpan, 915e6, 26e6, 902e6, 928e6},
        {kStop, 800e6, 0, 800e6 - 100e3, 800e6},
        {kStart, 900e6, 0, 900e6, 900e6 + 100e3},
        {kStop, 50e3, 0, 0.0, 100e3},
        {kStart, 5e9, 0, 4.4e9 - 100e3, 4.4e9},
        {kStop, 4.4e9 - 100e3, 0, 4.4e9 - 100e3, 4.4e9 - 100e3},  // zero span is legal
    };
    for (const auto& row : rows) {
        prompter.Clear();
        if (row.entry == kCentreSpan) {
            d.SetCenterSpan(row.value, row.span);
        } else if (row.entry == kStart) {
            d.SetStartFreq(row.value);
        } else {
            d.SetStopFreq(row.value);
        }
        EXPECT_DOUBLE_EQ(d.Frequencies().startHz, row.start) << row.entry << " " << row.value;
        EXPECT_DOUBLE_EQ(d.Frequencies().stopHz, row.stop) << row.entry << " " << row.value;
        const bool reset = row.start == 2.4e9;
        ASSERT_EQ(prompter.Count(), reset ? 1u : 0u) << row.value;
        if (reset) {
            EXPECT_EQ(prompter.Boxes()[0].caption + "|" + prompter.Boxes()[0].text,
                      "INVALID SETTING|CF out of bounds. Reset.");
        }
    }
}

// The attenuator is raised for a hot reference level (more below 16 MHz) but
// never lowered; the gain state follows the level against the correction.
TEST_F(InstrumentStateTest, LevelPlanSetsAttenuatorAndGainState) {
    AnalyzerDocument& d = BuildWithInstrument();
    const struct {
        double start, ref, attenBefore, attenAfter;
    } cases[] = {
        {902e6, 12.0, 0.0, 15.0}, {902e6, 8.0, 0.0, 10.0}, {902e6, -20.0, 0.0, 0.0},
        {10e6, 8.0, 0.0, 15.0},   {10e6, -3.0, 0.0, 10.0}, {10e6, -20.0, 15.0, 15.0},
    };
    for (const auto& c : cases) {
        d.SetFrequencies(c.start, c.start + 10e6);
        d.EditSettings([&](InstrumentState& s) { s.refLevelDbm = c.ref; });
        d.EditSettings([&](InstrumentState& s) { s.attenDb = c.attenBefore; });
        usb.ClearWrites();
        d.ApplyLevelPlan();
        EXPECT_EQ(d.Settings().attenDb, c.attenAfter) << c.start << " " << c.ref;
        EXPECT_EQ(CommandsSent().at(2), (Bytes{'A', static_cast<std::uint8_t>(c.attenAfter / 5)}));
    }

    d.SetFrequencies(902e6, 928e6);
    d.EditSettings([&](InstrumentState& s) { s.attenDb = 10.0; });
    d.EditSettings([&](InstrumentState& s) { s.gainMode = 1; });
    const double g = d.AmplitudeCorrection(915e6);
    const struct {
        double ref;
        std::uint8_t gain, lowGainByte, highGainByte;
    } gains[] = {{g + 5.5, 0, 0x80, 0x00}, {g + 4.5, 1, 0x00, 0x00}, {g - 7.5, 2, 0x00, 0x80}};
    for (const auto& c : gains) {
        ASSERT_LE(c.ref, 10.0) << "would raise the attenuator and move the thresholds";
        d.EditSettings([&](InstrumentState& s) { s.refLevelDbm = c.ref; });
        usb.ClearWrites();
        d.ApplyLevelPlan();
        EXPECT_EQ(d.Settings().gainMode, c.gain) << c.ref;
        EXPECT_EQ(CommandsSent().at(0), (Bytes{'I', 0x06, c.lowGainByte})) << c.ref;
        EXPECT_EQ(CommandsSent().at(1), (Bytes{'I', 0x0C, c.highGainByte})) << c.ref;
    }
}

}  // namespace
}  // namespace tavlin
