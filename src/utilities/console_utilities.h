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

// An option of `--utility NAME` (without its dashes) and the utility it
// belongs to: --captures N, --if-bandwidth HZ, --audio-filter lp|bp and
// --show am,fm of the receiver; --out FILE.bmp of the phase-noise plot;
// --audio-file FILE.wav, --seconds S, --mode am|fm, --wide and
// --deemphasis US of the listener.
struct UtilityOption {
    const char* name;
    const char* utility;
    bool takesValue;
};
const std::vector<UtilityOption>& UtilityOptions();

// "receiver", "harmonics", "phase-noise" or "listen".
bool IsUtilityName(std::string_view name);

// Sets one utility option from its value (empty for --wide): "" when taken,
// else why not, naming the option. A file to write is refused at once when
// its folder is missing or takes no new file, so that the refusal comes
// before the instrument is opened and no file is touched.
std::string SetUtilityOption(UtilityRequest& request, std::string_view name,
                             std::string_view value);

// Why the file an option names cannot be written, before anything runs: the
// writers put a temporary file beside it and rename it over the name, so its
// folder must exist and take new files, and the name must not be a folder.
// "" when it can.
std::string OutputFileRefusal(std::string_view option, const std::filesystem::path& path);

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
