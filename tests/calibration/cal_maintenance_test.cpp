// Purge, store and TCXO recalibration on the virtual unit.
#include <gtest/gtest.h>

#include <algorithm>

#include "calibration/cal_maintenance.h"
#include "calibration/flatness_view.h"
#include "e2e/virtual_unit_fixture.h"

namespace tavlin::test {
namespace {

class CalMaintenanceTest : public VirtualUnitTest {
  protected:
    // A unit whose TCXO is 1200 ppb off, and the user's signal for it.
    AnalyzerDocument& StartWithSignal(double freqHz) {
        sim::Scene scene = sim::DefaultScene();
        scene.tcxoPpb = 1200.0;
        scene.signals = {Cw(freqHz, -10.0)};
        return Start(scene);
    }
    double TcxoPpb() const { return doc->CalTcxoWord() - 32768.0; }
    auto TableBytes() {
        return WithInstrument(*doc, [](InstrumentLease& i) { return i.Table().Bytes(); });
    }
};

// The measured error is offered for saving; saved, it is in force after the
// closing preset; declined, the factory's 1200 ppb comes back. The user's
// signal is 300 Hz high, so the unit seems to have drifted to 900 ppb.
TEST_F(CalMaintenanceTest, RecalibratedTcxoIsKeptOnlyWhenSaved) {
    StartWithSignal(1000.0003e6);
    const std::uint16_t factoryWord = doc->CalTcxoWord();
    for (const bool save : {false, true}) {
        prompter.Clear();
        prompter.QueueAnswer(true);
        prompter.QueueAnswer(save);
        EXPECT_EQ(RecalibrateTcxo(*doc), save);
        ASSERT_EQ(prompter.Count(), 2u) << Boxes();
        const RecordingPrompter::Box question = prompter.Boxes()[1];
        EXPECT_EQ(question.caption, "SAVE NEW TCXO CORRECTION?");
        const double offered = std::stod(question.text.substr(question.text.find('=') + 1));
        EXPECT_NEAR(offered, 900.0, 5.0);
        if (save) {
            EXPECT_NEAR(TcxoPpb(), offered, 1.0);
        } else {
            EXPECT_EQ(doc->CalTcxoWord(), factoryWord);
        }
    }
}

// A signal 50 kHz high at 1 GHz reads as a reference 48800 ppb slow: more
// than the table's word holds.
TEST_F(CalMaintenanceTest, TcxoResultBeyondItsFieldIsRefused) {
    StartWithSignal(1000.05e6);
    const std::uint16_t before = doc->CalTcxoWord();
    prompter.QueueAnswer(true);
    EXPECT_FALSE(RecalibrateTcxo(*doc));
    EXPECT_NE(Boxes().find("ERROR: TCXO offset out of range: -48"), std::string::npos) << Boxes();
    EXPECT_EQ(doc->CalTcxoWord(), before);
}

// Purge erases the unit and leaves the cache file. What a store writes is
// checked below, with the cable pulled and without.
TEST_F(CalMaintenanceTest, PurgeErasesTheUnitAndLeavesTheCacheFile) {
    Start(sim::DefaultScene());
    ASSERT_TRUE(PurgeCalData(*doc));
    EXPECT_TRUE(std::ranges::all_of(unit->Memory(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(std::filesystem::exists(WithInstrument(
        *doc, [](InstrumentLease& i) { return i.Table().CacheFilePath("TV000123"); })));
}

// Store writes the table as it is to the unit. The cable pulled in the
// middle of a store (in the erase, a third of the way, near the end of the
// cached part): put back in time, the store is written again and the unit
// holds the table; gone for good, the store says
// the memory is incomplete, the cache file keeps the table, and the next
// store once the unit is back writes it whole.
TEST_F(CalMaintenanceTest, AStoreCutByAPulledCableIsWrittenAgain) {
    for (const int cutAt : {2, 300, 700}) {
        for (const bool comesBack : {true, false}) {
            SCOPED_TRACE(std::to_string(cutAt) + (comesBack ? ", put back" : ", gone"));
            Start(sim::DefaultScene());
            WithInstrument(*doc, [](InstrumentLease& i) {
                i.Table().Bytes()[cal_fields::kLowBandFlatnessOffset] = 140;
                return 0;
            });
            sim::SimFaults faults;
            faults.unplugAfterCommands = static_cast<int>(unit->CommandsExecuted()) + cutAt;
            faults.replugAfterMs = comesBack ? 100 : -1;
            unit->SetFaults(faults);
            const auto holdsTable = [&] {
                const auto memory = unit->Memory();
                return std::equal(memory.begin(), memory.begin() + CalTable::kCachedBytes,
                                  TableBytes().begin());
            };
            EXPECT_EQ(StoreCalData(*doc), comesBack) << Boxes();
            EXPECT_EQ(holdsTable(), comesBack);
            if (comesBack) {
                continue;
            }
            EXPECT_NE(Boxes().find("The unit's calibration memory is incomplete"),
                      std::string::npos)
                << Boxes();
            unit->PlugIn();
            doc->OnPreset();  // the program finds the unit again and loads the kept table
            EXPECT_EQ(TableBytes()[cal_fields::kLowBandFlatnessOffset], 140);
            EXPECT_TRUE(StoreCalData(*doc)) << Boxes();
            EXPECT_TRUE(holdsTable());
        }
    }
}

}  // namespace
}  // namespace tavlin::test

namespace tavlin::test {
namespace {

// The comparison view on the shipped sets of the virtual units: the four
// fields, then a page per band and attenuator row and per IF, the table's
// counts drawn around the centre row; without CALMIN no limit lines.
TEST_F(CalMaintenanceTest, FlatnessViewPagesThroughTheTableAgainstTheFactorySets) {
    StartWithSignal(1000e6);
    doc->OnContinuous();
    ViewFlatnessCorrections(*doc, std::filesystem::path(TAVLIN_SOURCE_DIR) / "scenes");
    EXPECT_FALSE(doc->SweepRunning());
    const auto boxes = prompter.Boxes();
    ASSERT_EQ(boxes.size(), 11u);
    EXPECT_EQ(boxes[0].caption, "COMPARE CAL SETS");
    EXPECT_EQ(boxes[0].text.rfind("IFClipHB150 ", 0), 0u) << boxes[0].text;
    EXPECT_EQ(boxes[1].text, "Currently viewing:\r\n Low Band, ATTEN = 0 dB");
    EXPECT_EQ(boxes[8].text, "Currently viewing:\r\n High Band, ATTEN = 15 dB");
    EXPECT_EQ(boxes[10].caption, "PRESS OK TO CONTINUE");
    EXPECT_EQ(boxes[10].text, "Currently viewing:\r\n 2.9 MHz IF flatness, ATTEN = 0 dB");
    const auto screen = doc->ReadTrace([](const ScreenState& s) { return s; });
    EXPECT_TRUE(screen.display.limitLinesOn);
    const int current =
        WithInstrument(*doc, [](InstrumentLease& i) { return i.Table().IfFlatness2M9(50); });
    const double expected = 250.0 - 10.0 * std::log10(current * 0.01) * 50.0;
    EXPECT_EQ(screen.trace.traceAInt[628],
              static_cast<std::int32_t>(std::clamp(expected, -5.0, 505.0)));
    EXPECT_EQ(doc->Frequencies().stopHz, 4400000000.0);

    prompter.Clear();
    ViewFlatnessCorrections(*doc, cacheDir);  // no comparison sets there
    EXPECT_FALSE(doc->ReadTrace([](const ScreenState& s) { return s.display.limitLinesOn; }));
}

}  // namespace
}  // namespace tavlin::test
