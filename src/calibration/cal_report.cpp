#include "calibration/cal_report.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/atomic_file.h"
#include "base/bounded_format.h"
#include "calibration/cal_bench.h"
#include "calibration/procedure_hold.h"
#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "ports/clock.h"
#include "ports/gpib_bus.h"
#include "ports/logged_procedure.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr double kGeneratorLevelDbm = -15.0;
constexpr double kResidualLevelDbm = -95.0;

struct DanlPoint {
    const char* label;
    double startHz;
    double stopHz;
    int column;
    double limitDbmHz;
};

constexpr DanlPoint kDanlPoints[] = {
    {"10 Hz", 5.0, 325.0, 10, -123.0},
    {"100 Hz", 5.0, 325.0, 190, -133.0},
    {"10 MHz", 9890000.0, 9910000.0, 240, -138.0},
    {"100 MHz", 99890000.0, 99910000.0, 240, -148.0},
    {"1 GHz", 999989000.0, 999991000.0, 240, -138.0},
    {"4.4 GHz", 4399989000.0, 4399991000.0, 240, -124.0},
};

template <typename... Args>
std::string Format(const char* format, Args... args) {
    return FormatText(format, args...);
}

std::string Header(const std::string& serial) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[80];
    std::strftime(date, sizeof date, "%A, %B %d, %Y", &local);
    return "Tavlin Calibration Report\r\nDate: " + std::string(date) + "\r\n" +
           Format("Serial Number: %s\r\n", serial.c_str());
}

class CalReport {
  public:
    CalReport(InstrumentLease& instrument, GpibBus& bus)
        : instrument_(instrument),
          doc_(instrument.Document()),
          bus_(bus),
          prompter_(doc_.GetPrompter()),
          clock_(doc_.GetClock()),
          bench_(instrument.Link(), bus, prompter_, clock_) {}

    CalReportResult Run(const std::filesystem::path& reportFile);

  private:
    bool Timebase();
    bool LevelAccuracy();
    bool LevelPoint(int row, double freqMhz);
    void CalOut();
    void NoiseFloor();
    void Sweep(double startHz, double stopHz);
    double NoiseAt(int column) const;
    void Fail() { result_.passed = false; }

    InstrumentLease& instrument_;
    AnalyzerDocument& doc_;
    GpibBus& bus_;
    Prompter& prompter_;
    Clock& clock_;
    CalBench bench_;
    CalReportResult result_;
};

CalReportResult CalReport::Run(const std::filesystem::path& reportFile) {
    bench_.OpenInstruments();
    result_.passed = true;
    result_.text = Header(doc_.Settings().deviceSerial);
    if (!Timebase()) {
        LogWarning("calibration", "calibration report failed: time base");
        return result_;
    }
    instrument_.Link().CheckReference(false);
    doc_.EditSettings([](InstrumentState& s) { s.imageReject = 0; });
    if (!LevelAccuracy()) {
        LogWarning("calibration", "calibration report failed: level accuracy");
        return result_;
    }
    CalOut();
    prompter_.Inform("Disconnect and terminate RF input", "USER ACTION REQUIRED");
    bus_.ConnectGenerator(false);
    NoiseFloor();
    std::string error;
    result_.written = WriteTextAtomically(reportFile, result_.text, error);
    if (!result_.written) {
        LogWarning("calibration", "calibration report not written: " + error);
        prompter_.Inform("Cannot write " + reportFile.string() + ": " + error, "CAL FAIL");
    }
    result_.passed = result_.passed && result_.written;
    doc_.RequestRepaint();
    return result_;
}

void CalReport::Sweep(double startHz, double stopHz) {
    doc_.SetFrequencies(startHz, stopHz);
    doc_.PerformSweep();
    doc_.RequestRepaint();
}

// The counter of a 20 kHz sweep around the 1 GHz generator. It is cleared
// first, so a sweep that measured nothing cannot pass on an older count. A
// count of noise (no generator, a loose cable) lands anywhere, also inside
// the window: it fails with its reason instead of passing.
bool CalReport::Timebase() {
    bench_.SetGenerator(1000.0, 0.0);
    doc_.EditSettings([](InstrumentState& s) { s.counterFreqHz = 0.0; });
    Sweep(999990000.0, 1000010000.0);
    const InstrumentState settings = doc_.Settings();
    if (settings.counterFlag != ReadingFlag::kNone) {
        result_.text += "Internal Timebase: FAIL, no 1 GHz signal above the noise\r\n\r\n";
        prompter_.Inform("No 1 GHz signal above the noise.  Check the generator and its cable",
                         "CAL FAIL");
        Fail();
        return false;
    }
    const double counted = settings.counterFreqHz;
    if (!(counted > 999999000.0 && counted < 1000001000.0)) {
        prompter_.Inform("Timebase OOT.  Please run adjustment", "CAL FAIL");
        Fail();
        return false;
    }
    result_.text += Format("Internal Timebase: %.2f ppm\r\n\r\n", counted * 0.001 - 1000000.0);
    return true;
}

bool CalReport::LevelAccuracy() {
    for (int row = 0; row < 4; ++row) {
        doc_.EditSettings([row](InstrumentState& s) { s.attenDb = 5.0 * row; });
        doc_.ApplyLevelPlan();
        for (double f = 50.0 * row + 25.0; f < 4395.0; f += 200.0) {
            if (!LevelPoint(row, f)) {
                return false;
            }
        }
    }
    return true;
}

// The marker's peak against the meter's reading of the splitter's other arm,
// less the meter's own residue (measured with the generator 80 dB down on the
// first row). A reading that failed makes the point fail.
bool CalReport::LevelPoint(int row, double freqMhz) {
    bench_.SetGenerator(freqMhz, kGeneratorLevelDbm);
    clock_.SleepMs(50);
    Sweep(freqMhz * 1e6 - 10000.0, freqMhz * 1e6 + 10000.0);
    MarkerCommands(doc_).Peak();
    doc_.RequestRepaint();
    const double marker =
        doc_.ReadTrace([](const ScreenState& s) { return s.markers.marker1Level; });
    const double nan = std::nan("");
    const double p = bench_.ReadPowerA().value_or(nan);
    double q = -50.0;
    if (row == 0) {
        bench_.SetGenerator(freqMhz, kResidualLevelDbm);
        clock_.SleepMs(50);
        q = bench_.ReadPowerA().value_or(nan);
        bench_.SetGenerator(freqMhz, kGeneratorLevelDbm);
    }
    const double reference = 10.0 * std::log10(std::pow(10.0, p / 10.0) - std::pow(10.0, q / 10.0));
    const double error = marker - reference;
    if (std::abs(error) < 1.0) {
        result_.text += Format("%d dB atten, %.0f MHz, %.2f dBc\r\n", 5 * row, freqMhz, error);
        return true;
    }
    Fail();
    const std::string line =
        Format("**FAIL** %d dB atten, %.0f MHz, %.2f dB off nominal\r\n", 5 * row, freqMhz, error);
    result_.text += line;
    return prompter_.AskYesNo(line, "TRY AGAIN?");
}

void CalReport::CalOut() {
    doc_.EditSettings([](InstrumentState& s) { s.imageReject = 1; });
    instrument_.Link().SetSyncTrigger(1);
    clock_.SleepMs(1500);
    const std::optional<double> level = bench_.ReadPowerB();
    instrument_.Link().SetSyncTrigger(0);
    const double s = level.value_or(std::nan(""));
    if (!(s >= -16.0 && s <= -13.0)) {
        Fail();
        result_.text += Format("**FAIL** Self Test Signal Level %.2f dBm\r\n", s);
    } else {
        result_.text += Format("\r\nSelf Test Signal Level %.2f dBm\r\n", s);
    }
}

// The noise in dBm/Hz around a column: the mean of nine rows as a level,
// less the RBW.
double CalReport::NoiseAt(int column) const {
    const InstrumentState s = doc_.Settings();
    const double mean = doc_.ReadTrace([column](const ScreenState& screen) {
        double sum = 0.0;
        for (int c = column - 4; c <= column + 4; ++c) {
            sum += screen.trace.traceA[c];
        }
        return sum / 9.0;
    });
    const double level = s.refLevelDbm + s.refLevelOffsetDb - mean * s.dbPerDiv * 0.02;
    return level - 10.0 * std::log10(s.rbwHz);
}

void CalReport::NoiseFloor() {
    doc_.EditSettings([](InstrumentState& s) {
        s.attenDb = 0.0;
        s.refLevelDbm = -50.0;
    });
    doc_.ApplyLevelPlan();
    double noise[std::size(kDanlPoints)] = {};
    for (std::size_t i = 0; i < std::size(kDanlPoints); ++i) {
        const DanlPoint& point = kDanlPoints[i];
        if (i == 0 || point.startHz != kDanlPoints[i - 1].startHz) {
            Sweep(point.startHz, point.stopHz);
        }
        noise[i] = NoiseAt(point.column);
        result_.text += Format(i == 0 ? "\r\nDisplayed Average Noise Level, %s, %.1f dBm/Hz \r\n"
                                      : "Displayed Average Noise Level, %s, %.1f dBm/Hz \r\n",
                               point.label, noise[i]);
    }
    for (std::size_t i = 0; i < std::size(kDanlPoints); ++i) {
        if (!(noise[i] <= kDanlPoints[i].limitDbmHz)) {
            Fail();
            prompter_.Inform(std::string("DANL FAILED at ") + kDanlPoints[i].label, "FAIL");
        }
    }
}

}  // namespace

bool ConfirmCalReport(Prompter& prompter) {
    return prompter.AskYesNo(
        "Verify that all equipment is set up and connected\r\n as shown in the manual.  Proceed?",
        "DOUBLE_CHECK CONNECTIONS");
}

CalReportResult RunCalReport(AnalyzerDocument& document, GpibBus& bus,
                             const std::filesystem::path& reportFile) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "calibration report");
    CalReport report(hold.Instrument(), bus);
    return report.Run(reportFile);
}

}  // namespace tavlin
