// The factory adjustments on the virtual unit beside the virtual bench, and
// the encoders that turn their measurements into table fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <regex>

#include "calibration/adjustments.h"
#include "calibration/cal_bench.h"
#include "calibration/cal_encoders.h"
#include "calibration/cal_report.h"
#include "e2e/virtual_unit_fixture.h"
#include "sim/factory_cal_image.h"
#include "sim/virtual_bench.h"

namespace tavlin::test {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Each field takes what it can hold, truncated toward zero; anything else is
// refused, never wrapped into a plausible-looking value.
TEST(CalEncoders, ValuesOutsideTheirFieldAreRefused) {
    struct Row {
        const char* name;
        std::optional<long> encoded;
        std::optional<long> expected;
    };
    const auto as = [](auto v) { return v ? std::optional<long>(*v) : std::nullopt; };
    const Row rows[] = {
        {"IFClip for d = -10.5", as(IfClipWord(-10.5)), 43268},
        {"IFClip beyond its word", as(IfClipWord(-32.768)), std::nullopt},
        {"IFClip at its top", as(IfClipWord(-32.767)), 65535},
        {"second IF gain 11.04 dB", as(SecondIfGainByte(11.04)), 110},
        {"second IF gain -1.0 dB", as(SecondIfGainByte(-1.0)), std::nullopt},
        {"second IF gain -0.05 dB", as(SecondIfGainByte(-0.05)), 0},
        {"second IF gain NaN", as(SecondIfGainByte(kNan)), std::nullopt},
        {"TCXO -12.7 ppb", as(TcxoWord(-12.7)), 32756},
        {"TCXO +32767 ppb", as(TcxoWord(32767.9)), 65535},
        {"TCXO -32768 ppb", as(TcxoWord(-32768.0)), std::nullopt},
        {"gain state 0 step below its base", as(LowGainStepWord(13.0)), std::nullopt},
        {"gain state 0 step 16.265 dB", as(LowGainStepWord(16.265)), 141},
        {"gain state 2 step 11.665 dB", as(HighGainStepWord(11.665)), 111},
        {"bbPower 2 dB", as(BroadbandPowerByte(2.0)), 108},
        {"bbPower -13 dB", as(BroadbandPowerByte(-13.0)), std::nullopt},
        {"flatness at 254", as(FlatnessByte(-7.875, 16)), 254},
        {"flatness past 254", as(FlatnessByte(-7.95, 16)), std::nullopt},
        {"flatness below 0", as(FlatnessByte(4.04, 32)), std::nullopt},
        {"IF entry 3 dB down", as(IfFlatnessByte(1.0, 0.5)), 200},
        {"IF entry 4.1 dB down", as(IfFlatnessByte(1.0, 0.389)), std::nullopt},
        {"IF entry of no power", as(IfFlatnessByte(1.0, 0.0)), std::nullopt},
        {"IF entry of NaN", as(IfFlatnessByte(1.0, kNan)), std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.encoded, row.expected) << row.name;
    }
}

TEST(CalEncoders, DroopFactorFollowsTheTableAndEndsAtOne) {
    EXPECT_NEAR(DroopFactor(0.0), std::pow(10.0, 0.06), 1e-12);
    // Halfway between 0.0 dB (x = 4) and 0.1 dB (x = 5).
    EXPECT_NEAR(DroopFactor(-4.5 * 486111.1 / 40.0), std::pow(10.0, -0.005), 1e-12);
    EXPECT_EQ(DroopFactor(11.0 * 486111.1 / 40.0), 1.0);
}

class AdjustmentTest : public VirtualUnitTest {
  protected:
    void StartWithBench(const sim::Scene& scene) {
        bench.reset();
        Start(scene);
        bench = std::make_unique<sim::VirtualBench>(*unit);
    }
    // The unit's true IF tables, as the factory would have measured them.
    static std::vector<std::uint8_t> TrueIfTables(const sim::Scene& scene) {
        const auto image = sim::FactoryCalImage::Measure(scene, sim::TrueResponse::Of(scene));
        return {image.begin() + cal_fields::kIfFlatness10M7Offset,
                image.begin() + cal_fields::kIfFlatness2M9Offset + cal_fields::kIfFlatnessBytes};
    }
    std::vector<std::uint8_t> IfTables() {
        const auto bytes =
            WithInstrument(*doc, [](InstrumentLease& i) { return i.Table().Bytes(); });
        return {bytes.begin() + cal_fields::kIfFlatness10M7Offset,
                bytes.begin() + cal_fields::kIfFlatness2M9Offset + cal_fields::kIfFlatnessBytes};
    }

    std::unique_ptr<sim::VirtualBench> bench;
    const std::filesystem::path sets = TAVLIN_SOURCE_DIR "/scenes";
};

// A blank unit's IF filters are its own: the adjustment finds them within
// 0.1 dB of the truth (the LO's 781 Hz steps on the filters' skirts).
TEST_F(AdjustmentTest, IfResponseFindsTheBlankUnitsFilters) {
    sim::Scene blank = sim::DefaultScene();
    blank.calibration = sim::SceneCalibration::Blank;
    StartWithBench(blank);
    ASSERT_TRUE(RunAdjustment(*doc, *bench, Adjustment::IfResponse, sets)) << Boxes();
    ASSERT_EQ(prompter.Count(), 1u) << Boxes();
    EXPECT_EQ(prompter.Boxes()[0].caption, "CALIBRATION DATA") << "the erased table, at start";
    const std::vector<std::uint8_t> found = IfTables();
    const std::vector<std::uint8_t> truth = TrueIfTables(blank);
    for (std::size_t i = 0; i < truth.size(); ++i) {
        EXPECT_LT(std::abs(10.0 * std::log10(double(found[i]) / truth[i])), 0.1)
            << "entry " << i << ": " << int(found[i]) << " against " << int(truth[i]);
    }
    EXPECT_FALSE(doc->UtilityOwns());
}

// DO ALL ADJUSTMENTS on a blank unit (with a preamplifier) finds its
// response and stores it; the calibration report then reads every level
// point within 0.5 dB through the program's own correction (after a
// preset, as the unit goes on to final testing).
TEST_F(AdjustmentTest, AllAdjustmentsMakeABlankUnitPassItsReport) {
    sim::Scene blank = sim::DefaultScene();
    blank.calibration = sim::SceneCalibration::Blank;
    blank.signals.clear();
    StartWithBench(blank);
    prompter.QueueAnswer(false);  // no extra delay
    EXPECT_TRUE(AdjustAll(*doc, *bench, sets, nullptr));
    const auto boxes = prompter.Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().text, "Cal table verified.  Ready for final testing.") << Boxes();
    EXPECT_NE(Boxes().find("PASSES PHASE NOISE: 100 Hz:"), std::string::npos) << Boxes();
    const auto memory = unit->Memory();
    EXPECT_TRUE(std::equal(
        memory.begin(), memory.begin() + CalTable::kCachedBytes,
        WithInstrument(*doc, [](InstrumentLease& i) { return i.Table().Bytes(); }).begin()));

    doc->Preset();
    const CalReportResult report = RunCalReport(*doc, *bench, cacheDir / "caldata.txt");
    EXPECT_TRUE(report.passed) << report.text;
    const std::regex point("(\\d+) dB atten, (\\d+) MHz, (-?[0-9.]+) dBc\r\n");
    int points = 0;
    for (auto it = std::sregex_iterator(report.text.begin(), report.text.end(), point);
         it != std::sregex_iterator(); ++it, ++points) {
        EXPECT_LE(std::abs(std::stod((*it)[3])), 0.5) << (*it)[0];
    }
    EXPECT_EQ(points, 88);
}

// Without the comparison sets nothing can be judged: the adjustment names
// the missing file and leaves the table alone.
TEST_F(AdjustmentTest, IfResponseWithoutComparisonSetsChangesNothing) {
    StartWithBench(sim::DefaultScene());
    const std::vector<std::uint8_t> before = IfTables();
    EXPECT_FALSE(RunAdjustment(*doc, *bench, Adjustment::IfResponse, cacheDir));
    EXPECT_NE(Boxes().find("ERROR: Cannot open " + (cacheDir / "CALMIN.kvo").string()),
              std::string::npos)
        << Boxes();
    EXPECT_EQ(IfTables(), before);
}

// The virtual bench with one instrument failing as real ones do: the meter
// falls silent or answers its overload text from its n-th reading on, or the
// generator refuses every command.
class FaultyBench final : public GpibBus {
  public:
    enum class Fault { kMeterSilent, kMeterOverload, kGeneratorDead };
    FaultyBench(GpibBus& bench, Fault fault, int goodReadings)
        : bench_(bench), fault_(fault), goodReadings_(goodReadings) {}
    int OpenDevice(int address) override { return bench_.OpenDevice(address); }
    bool Write(int device, std::string_view bytes) override {
        const bool generator = bytes.starts_with("CW") || bytes.starts_with("PL");
        return !(generator && fault_ == Fault::kGeneratorDead) && bench_.Write(device, bytes);
    }
    std::optional<std::string> Read(int device, std::size_t maxBytes) override {
        std::optional<std::string> answer = bench_.Read(device, maxBytes);
        if (fault_ == Fault::kGeneratorDead || goodReadings_-- > 0) {
            return answer;
        }
        if (fault_ == Fault::kMeterSilent) {
            return std::nullopt;
        }
        return std::string("OVLD ERR\r\n");
    }

  private:
    GpibBus& bench_;
    Fault fault_;
    int goodReadings_;
};

// A failing bench or a lost unit ends an adjustment with one closing message
// that names what failed; "TRY AGAIN?" is never asked when a retry of the
// unit cannot help, and the table in memory is as it was before.
TEST_F(AdjustmentTest, BenchFaultsNameTheirInstrumentAndLeaveTheTableAlone) {
    struct Row {
        const char* name;
        std::optional<FaultyBench::Fault> fault;  // none: the bench alone
        int goodReadings;
        bool unplugged;  // the unit's cable pulled in the middle
        const char* named;
    };
    const Row rows[] = {
        {"meter silent", FaultyBench::Fault::kMeterSilent, 3, false,
         "power meter at GPIB 13: no answer"},
        {"meter overloaded", FaultyBench::Fault::kMeterOverload, 3, false,
         "power meter at GPIB 13: answered \"OVLD ERR\", not a reading"},
        {"generator dead", FaultyBench::Fault::kGeneratorDead, 0, false,
         "signal generator at GPIB 20: a command did not go"},
        {"cable pulled", std::nullopt, 0, true, "the Tavlin: no longer answers on USB"},
    };
    for (const Row& row : rows) {
        sim::Scene scene = sim::DefaultScene();
        scene.faults.unplugAtDataRequest = row.unplugged ? 40 : 0;
        StartWithBench(scene);
        const auto before =
            WithInstrument(*doc, [](InstrumentLease& i) { return i.Table().Bytes(); });
        std::unique_ptr<GpibBus> faulty;
        if (row.fault) {
            faulty = std::make_unique<FaultyBench>(*bench, *row.fault, row.goodReadings);
        }
        EXPECT_FALSE(RunAdjustment(*doc, faulty ? *faulty : *bench, Adjustment::HighBand, sets))
            << row.name;
        const auto boxes = prompter.Boxes();
        ASSERT_FALSE(boxes.empty()) << row.name;
        EXPECT_EQ(boxes.back().caption, kAdjustmentFailedCaption) << row.name;
        EXPECT_NE(boxes.back().text.find(row.named), std::string::npos)
            << row.name << ": " << boxes.back().text;
        EXPECT_EQ(Boxes().find("TRY AGAIN?"), std::string::npos) << row.name << ": " << Boxes();
        if (!row.unplugged) {
            EXPECT_EQ(WithInstrument(*doc, [](InstrumentLease& i) { return i.Table().Bytes(); }),
                      before)
                << row.name;
        }
    }
}

}  // namespace
}  // namespace tavlin::test
