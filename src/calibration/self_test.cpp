#include "calibration/self_test.h"

#include <cmath>

#include "calibration/cal_bench.h"
#include "calibration/procedure_hold.h"
#include "document/analyzer_document.h"
#include "document/state_file.h"
#include "ports/logged_procedure.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

struct Check {
    const char* label;
    std::optional<double> deviation;  // from the reading's nominal value
    double window;
};

std::optional<double> Minus(const std::optional<double>& a, const std::optional<double>& b) {
    if (!a || !b) {
        return std::nullopt;
    }
    return *a - *b;
}

std::optional<double> Plus(const std::optional<double>& a, double b) {
    return a ? std::optional<double>(*a + b) : std::nullopt;
}

}  // namespace

SelfTestResult JudgeSelfTest(const SelfTestReadings& r) {
    const Check checks[] = {
        {"Broadband power detector: ", Plus(r.broadband, 13.0), 7.0},
        {"High Band Mixer: ", Plus(r.highBand, 33.0), 5.0},
        {"Low Band Mixer: ", Plus(r.lowBand, 32.0), 5.0},
        {"Attenuator: ", Plus(Minus(r.lowBand, r.lowBand15), -5.0), 2.5},
        {"Second IF: ", Plus(r.secondIf, 26.0), 5.0},
    };
    SelfTestResult result;
    result.ran = true;
    result.passed = true;
    result.text = "Self Test Results:\r\n";
    for (const Check& check : checks) {
        const bool pass = check.deviation && std::abs(*check.deviation) < check.window;
        result.passed = result.passed && pass;
        result.text += check.label;
        result.text += pass ? "PASS\r\n" : "FAIL\r\n";
    }
    return result;
}

namespace {

// The SELF TEST signal (140 MHz) seen by the detector, through the high-band
// mixer from a 150.7 MHz LO, through the low-band mixer from 129.3 MHz at 10
// and at 15 dB, and through the 2.9 MHz IF from 137.1 MHz.
SelfTestResult MeasureSelfTest(AnalyzerDocument& document) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "self test");
    Prompter& prompter = document.GetPrompter();
    NoGpibBus noBench;
    DeviceLink& link = hold.Instrument().Link();
    CalBench bench(link, noBench, prompter, document.GetClock());
    SelfTestReadings readings;
    link.SetSyncTrigger(1);
    readings.broadband = bench.MeasureBroadbandPower();
    link.SetGainMode(0);
    bench.TuneHighBand(150.7);
    readings.highBand = bench.MeasureLevel();
    link.SetBandSelect(false);
    bench.TuneLowBand(129.3);
    readings.lowBand = bench.MeasureLevel();
    link.SetAttenuator(15);
    readings.lowBand15 = bench.MeasureLevel();
    link.SetIfPath(1);
    bench.TuneLowBand(137.1);
    readings.secondIf = bench.MeasureLevel();
    link.SetIfPath(0);
    SelfTestResult result = JudgeSelfTest(readings);
    if (!result.passed) {
        logged.Fail(result.text);
    }
    prompter.Inform(result.text, "SELF TEST RESULTS");
    return result;
}

}  // namespace

// The question comes before the preset, so a No leaves the analyzer as the
// user had it; after the test the user's settings, trace and markers come
// back, as from a state file.
SelfTestResult RunSelfTest(AnalyzerDocument& document) {
    Prompter& prompter = document.GetPrompter();
    if (!prompter.AskYesNo("To begin the Self Test,connect \r\n SELF TEST to RF IN.  Proceed?",
                           "CONNECT NOW")) {
        return {};
    }
    const StateRecord userState = document.SnapshotState();
    const bool wasSweeping = document.SweepRunning() && !document.StopRequested();
    document.OnPreset();
    if (document.CloseRequested()) {
        return {};
    }
    SelfTestResult result = MeasureSelfTest(document);
    document.Preset();
    document.RestoreState(userState);
    if (wasSweeping) {
        document.OnContinuous();
    }
    return result;
}

}  // namespace tavlin
