#include "utilities/console_utilities.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "document/analyzer_document.h"
#include "utilities/harmonics/harmonics_plot.h"
#include "utilities/listener/audio_listener.h"
#include "utilities/phase_noise/phase_noise_curve.h"
#include "utilities/receiver/measuring_receiver.h"
#include "utilities/sound/wav_file_sink.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

constexpr int kStopSliceMs = 50;
constexpr int kRecordingGraceMs = 10000;

// The IF bandwidth is checked before the sweep stops: a refused run leaves
// the screen as it was.
int RunReceiver(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
                std::ostream& err) {
    if (request.captures < 1) {
        err << "tavlin-cli: --captures must be 1 or more\n";
        return 1;
    }
    if (!ReceiverControlsOf(request)) {
        err << "tavlin-cli: --if-bandwidth must be 240e3, 120e3, 60e3, 30e3 or 15e3\n";
        return 1;
    }
    const auto show = [&out](const std::string& text) { out << text << "---\n" << std::flush; };
    if (!MeasureWithReceiver(document, request, show)) {
        err << "tavlin-cli: the measuring receiver received no data\n";
        return 1;
    }
    return 0;
}

// One line per harmonic: n, frequency of its peak and its level, flagged
// (">-39.00", "<-80.00") where it was read off the screen's edge. A harmonic
// beyond the receiver's range was not swept: "NOT MEASURED".
int RunHarmonics(AnalyzerDocument& document, std::ostream& out) {
    for (const HarmonicReading& h : MeasureHarmonics(document)) {
        out << FormatText("%d,%.0f,", h.n, h.freqHz)
            << FlaggedReadingText(FormatText("%.2f", h.levelDbm), h.flag) << '\n';
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
            out << FormatText("%.3f,", p.offsetHz)
                << FlaggedReadingText(FormatText("%.2f", p.dbcPerHz),
                                      p.atFloor ? ReadingFlag::kBelowNoise : ReadingFlag::kNone)
                << '\n';
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

// The dialog's limits: 0.1 to 4400.0 MHz, 0.0 to 1001.0 us.
std::string ListenRefusal(const UtilityRequest& request, double freqHz) {
    if (request.out.empty()) {
        return "--utility listen needs --audio-file FILE.wav";
    }
    if (!(request.seconds > 0.0 && request.seconds <= 86400.0)) {
        return "--seconds must be more than 0 and at most 86400";
    }
    if (!(request.deemphasisUs >= 0.0 && request.deemphasisUs <= 1001.0)) {
        return "--deemphasis must be 0.0 to 1001.0 usec";
    }
    if (!(freqHz >= 0.1e6 && freqHz <= 4400.0e6)) {
        return "the centre frequency must be 0.1 to 4400.0 MHz to listen";
    }
    return "";
}

// Waits for the recording in slices, so that a stop asked meanwhile (a
// server going off) ends it; a stream that ended by itself, a stop or a
// stream far slower than real time leave it incomplete.
bool WaitForRecording(AudioListener& listener, std::int64_t values, const UtilityRequest& request) {
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(request.seconds * 2000.0) +
                                               kRecordingGraceMs);
    while (!listener.WaitForValues(values, std::chrono::milliseconds(kStopSliceMs))) {
        const bool stopped = request.stop != nullptr && request.stop->load();
        if (stopped || !listener.Playing() || std::chrono::steady_clock::now() > end) {
            return false;
        }
    }
    return true;
}

// Records the sound at the centre frequency, for the given seconds of sound
// (not of clock time: the instrument's stream sets the pace).
int RunListen(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& err) {
    ListenSettings settings;
    settings.freqHz = document.Frequencies().CenterHz();
    settings.fm = request.fm;
    settings.wideIf = request.wideIf;
    settings.deemphasisUs = request.deemphasisUs;
    if (const std::string refusal = ListenRefusal(request, settings.freqHz); !refusal.empty()) {
        err << "tavlin-cli: " << refusal << "\n";
        return 1;
    }
    settings.maxValues = static_cast<std::int64_t>(
        std::ceil(request.seconds * AudioListener::kValuesPerSecond / 2.0) * 2.0);
    UtilitySession session(document);
    WavFileSink sink(request.out);
    AudioListener listener(session.Instrument(), sink);
    bool complete = false;
    if (listener.Start(settings)) {
        complete = WaitForRecording(listener, settings.maxValues, request);
        listener.Stop();
    }
    if (!complete || !listener.Failure().empty()) {
        const std::string why = listener.Failure();
        err << "tavlin-cli: the recording is incomplete"
            << (why.empty() ? std::string() : ": " + why) << "\n";
        return 1;
    }
    return 0;
}

bool ReadNumber(const char* text, double& number) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    const std::optional<double> value = ReadFiniteNumber(text);
    number = value.value_or(0.0);
    return value.has_value();
}

}  // namespace

std::optional<ReceiverControls> ReceiverControlsOf(const UtilityRequest& request) {
    ReceiverControls controls;
    controls.ifBandwidth = IfBandwidthSetting(request.ifBandwidthHz);
    controls.bandPass = request.audioBandPass;
    controls.showAm = request.showAm;
    controls.showFm = request.showFm;
    if (controls.ifBandwidth.empty()) {
        return std::nullopt;
    }
    return controls;
}

std::optional<ReceiverReading> MeasureWithReceiver(
    AnalyzerDocument& document, const UtilityRequest& request,
    const std::function<void(const std::string&)>& show) {
    const std::optional<ReceiverControls> controls = ReceiverControlsOf(request);
    if (!controls || request.captures < 1) {
        return std::nullopt;
    }
    UtilitySession session(document);
    MeasuringReceiver receiver(session.Instrument(), {show, nullptr});
    receiver.SetControls(*controls);
    if (!receiver.Run(request.captures)) {
        return std::nullopt;
    }
    return receiver.LastReading();
}

std::vector<HarmonicReading> MeasureHarmonics(AnalyzerDocument& document) {
    const UtilitySession session(document);
    return HarmonicsPlot(document).Run();
}

std::vector<PhaseNoisePoint> MeasurePhaseNoise(AnalyzerDocument& document) {
    std::vector<PhaseNoisePoint> points;
    const auto keep = [&points](const PhaseNoiseSweeps& sweeps) {
        const PhaseNoiseCurve curve(sweeps);
        points.assign(curve.Points().begin(), curve.Points().end());
    };
    RunPhaseNoiseProcedure(document, keep, PhaseNoiseAsker::Console);
    return points;
}

int TakeListenOption(UtilityRequest& request, std::string_view arg, const char* value) {
    if (arg == "--wide") {
        request.wideIf = true;
        return 1;
    }
    if (arg == "--audio-file") {
        if (value == nullptr || *value == '\0') {
            return -1;
        }
        request.out = value;
        return 2;
    }
    if (arg == "--mode") {
        const std::string_view mode = value == nullptr ? "" : value;
        if (mode != "am" && mode != "fm") {
            return -1;
        }
        request.fm = mode == "fm";
        return 2;
    }
    if (arg == "--seconds") {
        return ReadNumber(value, request.seconds) ? 2 : -1;
    }
    if (arg == "--deemphasis") {
        return ReadNumber(value, request.deemphasisUs) ? 2 : -1;
    }
    return 0;
}

int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err) {
    if (request.name == "receiver") {
        return RunReceiver(document, request, out, err);
    }
    if (request.name == "harmonics") {
        return RunHarmonics(document, out);
    }
    if (request.name == "phase-noise") {
        return RunPhaseNoise(document, request, out, err);
    }
    if (request.name == "listen") {
        return RunListen(document, request, err);
    }
    err << "tavlin-cli: no utility named " << request.name << "\n";
    return 1;
}

}  // namespace tavlin
