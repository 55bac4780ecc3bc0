// The calibration bench, the self test and the calibration report, on the
// virtual unit beside the virtual bench, and without any GPIB library.
#include <gtest/gtest.h>

#include <regex>

#include "calibration/cal_bench.h"
#include "calibration/cal_report.h"
#include "calibration/linux_gpib_bus.h"
#include "calibration/self_test.h"
#include "e2e/virtual_unit_fixture.h"
#include "sim/virtual_bench.h"

namespace tavlin::test {
namespace {

TEST(MeterReading, OnlyALeadingFiniteNumberIsAReading) {
    struct Row {
        const char* name;
        const char* answer;
        std::optional<double> reading;
    };
    const Row rows[] = {
        {"exponent form", "-1.50000E+01\n", -15.0},
        {"not a number", "nan\n", std::nullopt},
        {"overflow", "1e999", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ParseMeterReading(row.answer), row.reading) << row.name;
    }
}

// Edges of the windows: the check passes strictly inside. A reading that
// failed fails its check; one bad check fails the test.
TEST(SelfTestVerdict, ChecksPassStrictlyInsideTheirWindows) {
    const SelfTestReadings nominal{-13.0, -33.0, -32.0, -37.0, -26.0};
    EXPECT_TRUE(JudgeSelfTest(nominal).passed);
    EXPECT_EQ(JudgeSelfTest(nominal).text,
              "Self Test Results:\r\nBroadband power detector: PASS\r\nHigh Band Mixer: "
              "PASS\r\nLow Band Mixer: PASS\r\nAttenuator: PASS\r\nSecond IF: PASS\r\n");
    struct Row {
        const char* name;
        SelfTestReadings readings;
        const char* failLine;  // nullptr: passes
    };
    const Row rows[] = {
        {"detector just inside", {-6.01, -33, -32, -37, -26}, nullptr},
        {"detector on the edge", {-6.0, -33, -32, -37, -26}, "Broadband power detector: FAIL"},
        {"attenuator step 2.5 dB short", {-13, -33, -32, -34.5, -26}, "Attenuator: FAIL"},
        {"no second IF reading", {-13, -33, -32, -37, std::nullopt}, "Second IF: FAIL"},
        {"no low-band reading", {-13, -33, std::nullopt, -37, -26}, "Attenuator: FAIL"},
    };
    for (const Row& row : rows) {
        const SelfTestResult r = JudgeSelfTest(row.readings);
        EXPECT_EQ(r.passed, row.failLine == nullptr) << row.name;
        if (row.failLine != nullptr) {
            EXPECT_NE(r.text.find(row.failLine), std::string::npos) << row.name << "\n" << r.text;
        }
    }
}

class CalibrationTest : public VirtualUnitTest {
  protected:
    AnalyzerDocument& StartWithBench(const sim::Scene& scene) {
        bench.reset();
        Start(scene);
        bench = std::make_unique<sim::VirtualBench>(*unit);
        return *doc;
    }

    std::unique_ptr<sim::VirtualBench> bench;
    LinuxGpibBus noLibrary{"libtavlin-no-such-gpib.so"};
    const std::filesystem::path reportFile = cacheDir / "caldata.txt";
};

// The meter reads the generator after the pad as the unit's input sees it,
// and CAL OUT only while the self-test signal is on; a read with no question
// before it times out, and an open of an address nobody answers fails.
TEST_F(CalibrationTest, VirtualBenchReadsWhatTheUnitIsGiven) {
    StartWithBench(sim::DefaultScene());
    SweepPause pause(*doc);
    {
        CalBench cal(pause.Instrument().Link(), *bench, prompter, clock);
        cal.OpenInstruments();
        EXPECT_EQ(prompter.Count(), 0u) << Boxes();
        EXPECT_TRUE(bench->ReferenceFed());
        EXPECT_EQ(bench->OpenDevice(7), -1);
        EXPECT_FALSE(bench->Read(bench->OpenDevice(13), 200));

        ASSERT_TRUE(cal.SetGenerator(150.0, -15.0));
        EXPECT_EQ(bench->GeneratorOutput(), std::pair(150e6, -12.0));
        EXPECT_NEAR(cal.ReadPowerA().value_or(0), -15.0, sim::VirtualBench::kSensorUncertaintyDb);
        EXPECT_NEAR(cal.ReadPowerB().value_or(0), sim::VirtualBench::kSensorFloorDbm, 0.1);
        pause.Instrument().Link().SetSyncTrigger(1);
        EXPECT_NEAR(cal.ReadPowerB().value_or(0), -15.0, sim::VirtualBench::kSensorUncertaintyDb);
    }
    EXPECT_EQ(bench->OpenDevices(), 0u);  // the procedure's end gave every descriptor back
}

// Without linux-gpib every open fails: the missing library is named, both
// instruments are reported missing, and the readings that need them fail
// instead of reading stale or made-up numbers.
TEST_F(CalibrationTest, WithoutTheGpibLibraryTheInstrumentsAreMissing) {
    Start(sim::DefaultScene());
    EXPECT_FALSE(noLibrary.Available());
    EXPECT_EQ(noLibrary.OpenDevice(13), -1);
    SweepPause pause(*doc);
    CalBench cal(pause.Instrument().Link(), noLibrary, prompter, clock);
    cal.OpenInstruments();
    EXPECT_EQ(Boxes().rfind("SETUP ERROR: GPIB: libtavlin-no-such-gpib.so not found: linux-gpib is "
                            "not installed",
                            0),
              0u)
        << Boxes();
    EXPECT_NE(Boxes().find("\nSETUP ERROR: No Power Meter!\nSETUP ERROR: Signal Generator!\n"),
              std::string::npos);
    EXPECT_FALSE(cal.PowerMeterPresent());
    EXPECT_FALSE(cal.SetGenerator(150.0, -15.0));
    EXPECT_FALSE(cal.ReadPowerA());
    EXPECT_FALSE(cal.ReadPowerB());
}

TEST_F(CalibrationTest, AFailedCaptureGivesNoLevel) {
    Start(sim::DefaultScene());
    SweepPause pause(*doc);
    CalBench cal(pause.Instrument().Link(), noLibrary, prompter, clock);
    ASSERT_EQ(cal.TuneHighBand(150.7), kLinkOk);
    EXPECT_TRUE(cal.MeasureLevel());
    sim::SimFaults faults;
    faults.shortCaptures = -1;
    unit->SetFaults(faults);
    EXPECT_FALSE(cal.MeasureLevel());
}

// The factory unit reads near the middle of every window; with nothing on
// the cable (a dead self-test source) every check fails. The user's
// settings survive the test, and a No touches nothing.
TEST_F(CalibrationTest, SelfTestPassesOnTheVirtualUnitAndFailsWithoutItsSignal) {
    Start(sim::DefaultScene());
    doc->SetCenterSpan(433.92e6, 1e6);
    prompter.QueueAnswer(true);
    SelfTestResult result = RunSelfTest(*doc);
    EXPECT_TRUE(result.ran);
    EXPECT_TRUE(result.passed) << result.text;
    EXPECT_EQ(prompter.Boxes().back().caption, "SELF TEST RESULTS");
    EXPECT_DOUBLE_EQ(doc->Frequencies().CenterHz(), 433.92e6);

    sim::Scene dead = sim::DefaultScene();
    dead.selfTest.levelDbm = -200.0;
    Start(dead);
    prompter.QueueAnswer(true);
    result = RunSelfTest(*doc);
    EXPECT_TRUE(result.ran);
    EXPECT_EQ(result.text.find("PASS"), std::string::npos) << result.text;

    doc->SetCenterSpan(433.92e6, 1e6);
    prompter.QueueAnswer(false);
    EXPECT_FALSE(RunSelfTest(*doc).ran);
    EXPECT_DOUBLE_EQ(doc->Frequencies().CenterHz(), 433.92e6);
}

// The whole report on the factory unit: every level point within 0.5 dB,
// the six noise lines under their limits, the serial after the date, and no
// box but the one asking to terminate the input.
TEST_F(CalibrationTest, CalibrationReportPassesOnTheVirtualUnit) {
    StartWithBench(sim::DefaultScene());
    const CalReportResult result = RunCalReport(*doc, *bench, reportFile);
    EXPECT_TRUE(result.passed) << result.text << Boxes();
    EXPECT_EQ(Boxes(), "USER ACTION REQUIRED: Disconnect and terminate RF input\n");
    const std::string report = test::ReadFileText(reportFile);
    EXPECT_EQ(report, result.text);
    EXPECT_TRUE(
        std::regex_search(report, std::regex("\r\nDate: [^\r]+\r\nSerial Number: TV000123\r\n")));
    const std::regex point("(\\d+) dB atten, (\\d+) MHz, (-?[0-9.]+) dBc\r\n");
    int points = 0;
    for (auto it = std::sregex_iterator(report.begin(), report.end(), point);
         it != std::sregex_iterator(); ++it, ++points) {
        EXPECT_LE(std::abs(std::stod((*it)[3])), 0.5) << (*it)[0];
    }
    EXPECT_EQ(points, 88);
    EXPECT_FALSE(doc->UtilityOwns());
}

// With no bench the 1 GHz timebase signal is missing: the counter counts
// noise, which may land inside the timebase window; the report ends there,
// saying why, without a file.
TEST_F(CalibrationTest, CalibrationReportWithoutTheBenchWritesNothing) {
    Start(sim::DefaultScene());
    const CalReportResult result = RunCalReport(*doc, noLibrary, reportFile);
    EXPECT_FALSE(result.passed);
    EXPECT_FALSE(std::filesystem::exists(reportFile));
    EXPECT_NE(Boxes().find("SETUP ERROR: Signal Generator!\n"
                           "CAL FAIL: No 1 GHz signal above the noise.  Check the generator and "
                           "its cable\n"),
              std::string::npos)
        << Boxes();
    EXPECT_NE(result.text.find("Internal Timebase: FAIL, no 1 GHz signal above the noise"),
              std::string::npos);
}

}  // namespace
}  // namespace tavlin::test
