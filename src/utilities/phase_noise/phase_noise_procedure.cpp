#include "utilities/phase_noise/phase_noise_procedure.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/bounded_format.h"
#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "dsp/window.h"
#include "ports/logged_procedure.h"
#include "ports/prompter.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

constexpr double kProcedureDbPerDiv = 20.0;
constexpr double kRestoredDbPerDiv = 10.0;
// A window size no FFT uses: the next FFT sweep rebuilds its window table.
constexpr double kFindSpanHz = 100000.0;
constexpr double kCentreSpanHz = 1000.0;
// The narrow FFT kind serves spans below 150 Hz; the first two windows are
// swept with it directly.
constexpr int kDirectNarrowTraces = 2;
// The instrument's own floor is read this far above the carrier: the carrier
// then lies far outside the IF filter, and a carrier's own noise has fallen
// far below what it is at the plot's last offset.
constexpr double kFloorOffsetHz = 10e6;
constexpr double kDbPerRow = 20.0 / 50.0;

// The row of the mean power of a trace's rows.
double MeanPowerRow(const std::array<double, PhaseNoiseSweeps::kPoints>& rows) {
    double sum = 0.0;
    for (const double row : rows) {
        sum += std::pow(10.0, -kDbPerRow * row / 10.0);
    }
    return -10.0 * std::log10(sum / rows.size()) / kDbPerRow;
}

class Procedure {
  public:
    Procedure(AnalyzerDocument& document, bool askCentred)
        : doc_(document), markers_(document), askCentred_(askCentred) {}

    PhaseNoiseSweeps Measure();

  private:
    void SweepRange(double startHz, double stopHz) {
        doc_.SetFrequencies(startHz, stopHz);
        doc_.ApplyLevelPlan();
        doc_.PerformSweep();
    }
    double CentreOnPeak();
    void Keep(PhaseNoiseSweeps& sweeps, int index, double rbwHz);
    void MeasureFloor(PhaseNoiseSweeps& sweeps, double carrierHz);
    // The carrier is found and levelled with the trace's usual pixels (the
    // strongest bin); the sidebands are read as noise.
    void ReadNoise(bool on) {
        TraceMeasurementSettings settings = doc_.TraceMeasurements();
        settings.noiseOn = on;
        doc_.SetTraceMeasurements(settings);
    }
    std::array<double, PhaseNoiseSweeps::kPoints> Rows() const {
        return doc_.ReadTrace([](const ScreenState& s) { return s.trace.traceA; });
    }

    AnalyzerDocument& doc_;
    MarkerCommands markers_;
    bool askCentred_;
};

// PEAK and MKR->CF: the centre to the carrier, within a point of the span
// swept.
double Procedure::CentreOnPeak() {
    markers_.Peak();
    markers_.MarkerToCenter();
    return doc_.Frequencies().CenterHz();
}

void Procedure::Keep(PhaseNoiseSweeps& sweeps, int index, double rbwHz) {
    sweeps.traces[index] = Rows();
    sweeps.rbwHz[index] = rbwHz;
    doc_.RequestRepaint();
}

// One sweep of each window width the FFT sweeps serve, at the same level
// plan, with nothing but the instrument's own noise in it.
void Procedure::MeasureFloor(PhaseNoiseSweeps& sweeps, double carrierHz) {
    const double startHz = carrierHz + kFloorOffsetHz;
    double spanHz = PhaseNoiseSweeps::kFirstSpanHz * std::pow(16.0, kDirectNarrowTraces);
    for (int i = kDirectNarrowTraces; i < PhaseNoiseSweeps::kNarrowTraces; ++i, spanHz *= 16.0) {
        SweepRange(startHz, startHz + spanHz);
        sweeps.floorRows[i] = MeanPowerRow(Rows());
    }
    SweepRange(startHz, startHz + PhaseNoiseSweeps::kWindowSpanHz);
    const double wide = MeanPowerRow(Rows());
    std::fill(sweeps.floorRows.begin() + PhaseNoiseSweeps::kNarrowTraces, sweeps.floorRows.end(),
              wide);
}

PhaseNoiseSweeps Procedure::Measure() {
    PhaseNoiseSweeps sweeps;
    double c = doc_.Frequencies().CenterHz();
    // The carrier's peak becomes the reference level: the rows then read dBc.
    SweepRange(c - kFindSpanHz / 2.0, c + kFindSpanHz / 2.0);
    markers_.Peak();
    markers_.MarkerToRefLevel();
    doc_.RequestRepaint();
    if (askCentred_ &&
        !doc_.GetPrompter().AskYesNo("Is the frequency already exactly centered?", "CENTER FREQ")) {
        c = CentreOnPeak();
        SweepRange(c - kCentreSpanHz / 2.0, c + kCentreSpanHz / 2.0);
        c = CentreOnPeak();
    }
    ReadNoise(true);
    double spanHz = PhaseNoiseSweeps::kFirstSpanHz;
    for (int i = 0; i < PhaseNoiseSweeps::kNarrowTraces; ++i, spanHz *= 16.0) {
        doc_.SetFrequencies(c, c + spanHz);
        doc_.ApplyLevelPlan();
        if (i < kDirectNarrowTraces) {
            doc_.PerformNarrowFftSweep();
        } else {
            doc_.PerformSweep();
        }
        Keep(sweeps, i, doc_.ReadSettings([](const InstrumentState& s) { return s.rbwHz; }));
    }
    for (int k = 0; k < PhaseNoiseSweeps::kTraces - PhaseNoiseSweeps::kNarrowTraces; ++k) {
        const double startHz = c + PhaseNoiseSweeps::kWindowStepHz * (k + 1);
        const double rbwHz = doc_.PredictRbw(PhaseNoiseSweeps::kWindowSpanHz);
        SweepRange(startHz, startHz + PhaseNoiseSweeps::kWindowSpanHz);
        Keep(sweeps, PhaseNoiseSweeps::kNarrowTraces + k, rbwHz);
    }
    MeasureFloor(sweeps, c);
    ReadNoise(false);
    sweeps.carrierHz = c;
    sweeps.title = FormatText("SSB Phase Noise @ %.2f MHz", c / 1e6);
    return sweeps;
}

}  // namespace

void RunPhaseNoiseProcedure(AnalyzerDocument& document,
                            const std::function<void(const PhaseNoiseSweeps&)>& show,
                            PhaseNoiseAsker asker) {
    UtilitySession session(document);
    const LoggedProcedure logged("utility", "phase noise plot");
    const bool window = asker == PhaseNoiseAsker::Window;
    if (window) {
        // The instrument goes by its own name here as in every other box.
        document.GetPrompter().Inform(
            "This automated utility will take about 1 minute to run.\r\n Do not try to control "
            "the Tavlin during this time.",
            "CAUTION");
    }
    const FrequencyPair before = document.Frequencies();
    const double spanBefore = before.SpanHz();
    const double refBefore =
        document.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; });
    document.EditSettings([](InstrumentState& s) { s.dbPerDiv = kProcedureDbPerDiv; });
    session.Instrument().SelectWindow(kNuttallWindow);

    double carrierHz = before.CenterHz();
    {
        const PhaseNoiseSweeps sweeps = Procedure(document, window).Measure();
        carrierHz = sweeps.carrierHz;
        if (show) {
            show(sweeps);
        }
    }
    session.Instrument().SelectWindow(kFlatTopWindow);
    // Through the centre/span rules, so the RBW shown is the one this span
    // will get rather than the last narrow sweep's.
    document.SetCenterSpan(carrierHz, spanBefore);
    document.EditSettings([refBefore](InstrumentState& s) {
        s.refLevelDbm = refBefore;
        s.dbPerDiv = kRestoredDbPerDiv;
    });
    document.RequestRepaint();
    // The session's end restores the level plan and restarts the sweep if
    // it ran before.
}

}  // namespace tavlin
