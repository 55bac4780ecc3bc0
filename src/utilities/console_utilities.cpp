#include "utilities/console_utilities.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
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
std::string SecondsRefusal(double seconds) {
    return seconds > 0.0 && seconds <= 86400.0 ? ""
                                               : "--seconds must be more than 0 and at most 86400";
}

std::string DeemphasisRefusal(double us) {
    return us >= 0.0 && us <= 1001.0 ? "" : "--deemphasis must be 0.0 to 1001.0 usec";
}

std::string ListenRefusal(const UtilityRequest& request, double freqHz) {
    if (request.out.empty()) {
        return "--utility listen needs --audio-file FILE.wav";
    }
    if (std::string refusal = SecondsRefusal(request.seconds); !refusal.empty()) {
        return refusal;
    }
    if (std::string refusal = DeemphasisRefusal(request.deemphasisUs); !refusal.empty()) {
        return refusal;
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

std::optional<double> ReadNumber(std::string_view text) {
    return text.empty() ? std::nullopt : ReadFiniteNumber(text);
}

std::string SetCaptures(UtilityRequest& request, std::string_view value) {
    int captures = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), captures);
    if (error != std::errc() || end != value.data() + value.size() || captures < 1) {
        return "--captures must be a whole number of 1 or more, not '" + std::string(value) + "'";
    }
    request.captures = captures;
    return "";
}

// The receiver's IF filters, as its dialog offers them.
std::string SetIfBandwidth(UtilityRequest& request, std::string_view value) {
    const std::optional<double> hz = ReadNumber(value);
    for (const double offered : {240e3, 120e3, 60e3, 30e3, 15e3}) {
        if (hz == offered) {
            request.ifBandwidthHz = offered;
            return "";
        }
    }
    return "--if-bandwidth must be 240e3, 120e3, 60e3, 30e3 or 15e3 (Hz), not '" +
           std::string(value) + "'";
}

// "am", "fm" or "am,fm": the blocks shown, the others hidden.
std::string SetShown(UtilityRequest& request, std::string_view value) {
    bool am = false;
    bool fm = false;
    for (std::size_t start = 0;;) {
        const std::size_t comma = value.find(',', start);
        const std::string_view word = value.substr(start, comma - start);
        if (word != "am" && word != "fm") {
            return "--show takes am, fm or am,fm, not '" + std::string(value) + "'";
        }
        (word == "am" ? am : fm) = true;
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    request.showAm = am;
    request.showFm = fm;
    return "";
}

// One of two words sets a flag: the second sets it, the first clears it.
std::string SetChoice(std::string_view option, std::string_view value, const char* cleared,
                      const char* set, bool& flag) {
    if (value != cleared && value != set) {
        return "--" + std::string(option) + " must be " + cleared + " or " + set + ", not '" +
               std::string(value) + "'";
    }
    flag = value == set;
    return "";
}

std::string SetListenNumber(std::string_view option, std::string_view value, double& number,
                            std::string (*refusal)(double)) {
    const std::optional<double> read = ReadNumber(value);
    if (!read) {
        return "--" + std::string(option) + " takes a number, not '" + std::string(value) + "'";
    }
    number = *read;
    return refusal(number);
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

std::string OutputFileRefusal(std::string_view option, const std::filesystem::path& path) {
    const std::string named = "--" + std::string(option) + " " + path.string() + ": ";
    if (path.empty()) {
        return "--" + std::string(option) + " needs a file name";
    }
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        return named + "the folder " + folder.string() + " does not exist";
    }
    if (std::filesystem::is_directory(path, error)) {
        return named + "that is a folder";
    }
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return named + "the folder " + folder.string() + " is not writable";
    }
    return "";
}

const std::vector<UtilityOption>& UtilityOptions() {
    static const std::vector<UtilityOption> options = {
        {"captures", "receiver", true},     {"if-bandwidth", "receiver", true},
        {"audio-filter", "receiver", true}, {"show", "receiver", true},
        {"out", "phase-noise", true},       {"audio-file", "listen", true},
        {"seconds", "listen", true},        {"mode", "listen", true},
        {"wide", "listen", false},          {"deemphasis", "listen", true},
    };
    return options;
}

bool IsUtilityName(std::string_view name) {
    return name == "receiver" || name == "harmonics" || name == "phase-noise" || name == "listen";
}

std::string SetUtilityOption(UtilityRequest& request, std::string_view name,
                             std::string_view value) {
    if (name == "captures") {
        return SetCaptures(request, value);
    }
    if (name == "if-bandwidth") {
        return SetIfBandwidth(request, value);
    }
    if (name == "audio-filter") {
        return SetChoice(name, value, "lp", "bp", request.audioBandPass);
    }
    if (name == "show") {
        return SetShown(request, value);
    }
    if (name == "mode") {
        return SetChoice(name, value, "am", "fm", request.fm);
    }
    if (name == "wide") {
        request.wideIf = true;
        return "";
    }
    if (name == "seconds") {
        return SetListenNumber(name, value, request.seconds, SecondsRefusal);
    }
    if (name == "deemphasis") {
        return SetListenNumber(name, value, request.deemphasisUs, DeemphasisRefusal);
    }
    if (name == "out" || name == "audio-file") {
        request.out = std::filesystem::path(value);
        return OutputFileRefusal(name, request.out);
    }
    return "--" + std::string(name) + " is no option of a utility";
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
