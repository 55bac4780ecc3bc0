#include "utilities/console_utilities.h"

#include <cstdio>
#include <ostream>

#include "utilities/harmonics_plot.h"
#include "utilities/measuring_receiver.h"
#include "utilities/phase_noise_curve.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

int RunReceiver(AnalyzerDocument& document, int captures, std::ostream& out, std::ostream& err) {
    if (captures < 1) {
        err << "tavlin-cli: --captures must be 1 or more\n";
        return 1;
    }
    const UtilitySession session(document);
    MeasuringReceiver receiver(
        document,
        {[&out](const std::string& text) { out << text << "---\n"
                                               << std::flush; }, nullptr});
    if (!receiver.Run(captures)) {
        err << "tavlin-cli: the measuring receiver received no data\n";
        return 1;
    }
    return 0;
}

// One line per harmonic: n, frequency of its peak and its level. A harmonic
// beyond the receiver's range was not swept and has no level.
int RunHarmonics(AnalyzerDocument& document, std::ostream& out) {
    const UtilitySession session(document);
    for (const HarmonicReading& h : HarmonicsPlot(document).Run()) {
        char line[96];
        if (h.swept) {
            std::snprintf(line, sizeof line, "%d,%.0f,%.2f\n", h.n, h.freqHz, h.levelDbm);
        } else {
            std::snprintf(line, sizeof line, "%d,%.0f,\n", h.n, h.freqHz);
        }
        out << line;
    }
    out << std::flush;
    return 0;
}

// One line per plotted column, offset and density; the bitmap as SAVE PLOT
// writes it. The centre given by the commands is taken as exact.
int RunPhaseNoise(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
                  std::ostream& err) {
    if (!request.out.empty() && !request.renderPhaseNoise) {
        err << "tavlin-cli: this build cannot draw the phase-noise plot\n";
        return 1;
    }
    std::string failedStep;
    auto show = [&](const PhaseNoiseSweeps& sweeps) {
        const PhaseNoiseCurve curve(sweeps);
        for (const PhaseNoisePoint& p : curve.Points()) {
            char line[64];
            std::snprintf(line, sizeof line, "%.3f,%.2f\n", p.offsetHz, p.dbcPerHz);
            out << line;
        }
        out << std::flush;
        if (!request.out.empty()) {
            PlotImage image = request.renderPhaseNoise(sweeps);
            RecolourForPrint(image);
            failedStep = WritePlotBitmap(image, request.out);
        }
    };
    RunPhaseNoiseProcedure(document, show, PhaseNoiseAsker::Console);
    if (!failedStep.empty()) {
        err << "tavlin-cli: the plot was not saved to " << request.out.string() << " ("
            << failedStep << " failed)\n";
        return 1;
    }
    return 0;
}

}  // namespace

int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err) {
    if (request.name == "receiver") {
        return RunReceiver(document, request.captures, out, err);
    }
    if (request.name == "harmonics") {
        return RunHarmonics(document, out);
    }
    if (request.name == "phase-noise") {
        return RunPhaseNoise(document, request, out, err);
    }
    err << "tavlin-cli: no utility named " << request.name << "\n";
    return 1;
}

}  // namespace tavlin
