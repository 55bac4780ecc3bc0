#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

#include "utilities/phase_noise_procedure.h"
#include "utilities/plot_bitmap.h"

namespace tavlin {

class AnalyzerDocument;

// Draws the phase-noise plot as the dialog shows it (reference -30 dBc/Hz,
// the procedure's title); the core has no drawing of its own.
using PhaseNoiseRenderer = std::function<PlotImage(const PhaseNoiseSweeps&)>;

// A utility run from the console, as `tavlin-cli --utility NAME` asks.
struct UtilityRequest {
    std::string name;  // "receiver", "harmonics", "phase-noise"
    int captures = 1;
    std::filesystem::path out;  // the phase-noise plot's bitmap, when not empty
    PhaseNoiseRenderer renderPhaseNoise;
};

// Runs the utility with the sweep paused, prints its results on out and
// returns 0, or prints why it could not run on err and returns 1.
int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err);

}  // namespace tavlin
