#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/plot_bitmap.h"
#include "utilities/harmonics/harmonics_plot.h"
#include "utilities/phase_noise/phase_noise_curve.h"
#include "utilities/receiver/receiver_analysis.h"

namespace tavlin {

class AnalyzerDocument;

// Draws the phase-noise plot as the dialog shows it (reference -30 dBc/Hz,
// the procedure's title); the core has no drawing of its own.
using PhaseNoiseRenderer = std::function<PlotImage(const PhaseNoiseSweeps&)>;

// A utility run from the console, as `tavlin-cli --utility NAME` asks.
struct UtilityRequest {
    std::string name;  // "receiver", "harmonics", "phase-noise", "listen"
    int captures = 1;
    // The phase-noise plot's bitmap, or the listener's WAV file; when not
    // empty.
    std::filesystem::path out;
    PhaseNoiseRenderer renderPhaseNoise;
    // The listener: a recording of `seconds` into the WAV file `out`.
    double seconds = 0.0;
    bool fm = true;
    bool wideIf = false;
    double deemphasisUs = 125.0;
    // When set and it turns true, a recording ends early, incomplete.
    const std::atomic<bool>* stop = nullptr;
    // The measuring receiver's controls, as its dialog opens: IF bandwidth
    // 240, 120, 60, 30 or 15 kHz, the audio band pass (else the low pass),
    // and which modulation blocks the results show.
    double ifBandwidthHz = 15000.0;
    bool audioBandPass = true;
    bool showAm = false;
    bool showFm = true;
};

// Takes the listener's options (--audio-file FILE, --seconds S, --mode am|fm,
// --wide, --deemphasis US): returns how many arguments it used (1 or 2), 0
// when `arg` is none of them, -1 when its value is missing or not a number.
int TakeListenOption(UtilityRequest& request, std::string_view arg, const char* value);

// The measuring receiver's controls the request names; nothing when its IF
// bandwidth is none of the receiver's.
std::optional<ReceiverControls> ReceiverControlsOf(const UtilityRequest& request);

// The measuring receiver at the centre frequency for request.captures passes
// with the request's controls, the sweep paused; each pass's results text
// goes to `show`. The numbers of the last pass, or nothing when the capture
// failed three times running.
std::optional<ReceiverReading> MeasureWithReceiver(
    AnalyzerDocument& document, const UtilityRequest& request,
    const std::function<void(const std::string&)>& show);

// The harmonics plot's readings, the sweep paused.
std::vector<HarmonicReading> MeasureHarmonics(AnalyzerDocument& document);

// The phase-noise curve at the centre, taken as exact, the sweep paused.
std::vector<PhaseNoisePoint> MeasurePhaseNoise(AnalyzerDocument& document);

// Runs the utility with the sweep paused, prints its results on out and
// returns 0, or prints why it could not run on err and returns 1.
int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err);

}  // namespace tavlin
