#include <algorithm>
#include <cmath>

#include "document/document_fixture.h"

namespace tavlin {
namespace {

using InstrumentStateTest = test::DocumentFixture;

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

// A blank unit's erased table is used, since it is the unit's own, but it
// is said once with its field and marks the levels uncalibrated; a later
// preset does not say it again. That it is never cached is the table's rule.
TEST_F(InstrumentStateTest, ErasedTableIsToldOnceMarkedAndNotCached) {
    calMemory.memory.fill(0xFF);
    AnalyzerDocument& d = BuildWithInstrument();
    d.Preset();
    ASSERT_EQ(prompter.Count(), 1u);
    EXPECT_EQ(prompter.Boxes()[0].caption, "CALIBRATION DATA");
    EXPECT_NE(prompter.Boxes()[0].text.find("erased"), std::string::npos);
    EXPECT_NE(d.CalibrationUntrusted().find("0xFF"), std::string::npos);
}

// The attenuator is raised for a hot reference level (more below 16 MHz) but
// never lowered; the gain state follows the level against the correction.
TEST_F(InstrumentStateTest, LevelPlanSetsAttenuatorAndGainState) {
    AnalyzerDocument& d = BuildWithInstrument();
    // The command sent with this opcode (and register), if any.
    const auto sent = [this](const Bytes& prefix) {
        const std::vector<Bytes> all = CommandsSent();
        const auto it = std::ranges::find_if(all, [&](const Bytes& c) {
            return std::equal(prefix.begin(), prefix.end(), c.begin());
        });
        return it == all.end() ? Bytes{} : *it;
    };
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
        EXPECT_EQ(sent({'A'}), (Bytes{'A', static_cast<std::uint8_t>(c.attenAfter / 5)}));
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
        EXPECT_EQ(sent({'I', 0x06}), (Bytes{'I', 0x06, c.lowGainByte})) << c.ref;
        EXPECT_EQ(sent({'I', 0x0C}), (Bytes{'I', 0x0C, c.highGainByte})) << c.ref;
    }
}

}  // namespace
}  // namespace tavlin
