// Measurements from a script: MEASure, READ and FETCh of the trace
// measurements, and the utilities that take the instrument over from the
// sweep (measuring receiver, harmonics, phase noise, the listener into a
// file). A query that cannot be answered still answers, with the standard's
// not-a-number for each value, and its error waits in the queue.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "document/analyzer_document.h"
#include "ports/log.h"
#include "remote/scpi_session.h"

namespace tavlin {

namespace {

constexpr int kMostCaptures = 100;
constexpr double kLongestRecordingSeconds = 86400.0;  // as the console's listener
constexpr double kWidestIfHz = 240000.0;
constexpr int kNarrowestIfDivisor = 16;

std::string NotANumber() {
    return FormatText("%.2E", kScpiNotANumber);
}

// The number, or not-a-number when the flag says none was measured.
std::string Field(const ScpiReading& reading) {
    return ReadingFlagKeepsNumber(reading.flag) ? FormatText("%.3f", reading.value) : NotANumber();
}

// The receiver's IF bandwidths: 240 kHz divided by 1, 2, 4, 8 or 16.
bool IsIfBandwidth(double hz) {
    for (int divisor = 1; divisor <= kNarrowestIfDivisor; divisor *= 2) {
        if (hz == kWidestIfHz / divisor) {
            return true;
        }
    }
    return false;
}

}  // namespace

// One not-a-number per value the reply would have held. A handler that
// queued no error of its own leaves the reason unknown: "no data".
std::string ScpiSession::NoAnswer(int values, std::size_t errorsBefore) {
    if (errorsQueued_ == errorsBefore) {
        PushError(kDataCorruptOrStale);
    }
    std::string text = NotANumber();
    for (int i = 1; i < values; ++i) {
        text += "," + NotANumber();
    }
    return text;
}

void ScpiSession::PushReadingFlags(const std::vector<ReadingFlag>& flags) {
    std::vector<ReadingFlag> pushed;
    for (const ReadingFlag flag : flags) {
        if (flag != ReadingFlag::kNone && std::ranges::find(pushed, flag) == pushed.end()) {
            PushReadingFlag(flag);
            pushed.push_back(flag);
        }
    }
}

// --- Channel power and occupied bandwidth ---------------------------------------------------

// A trace that has no reading: none swept yet (-230), or one swept that
// cannot be integrated (-221: wide sweep, zero span, a step sweep drawn
// without power averaging).
void ScpiSession::PushNoTraceReading() {
    const bool measured = doc_.ReadTrace([](const ScreenState& s) { return s.basis.measured; });
    PushError(measured ? kSettingsConflict : kDataCorruptOrStale);
}

// A whole pass begun after the command: a continuous sweep may have begun its
// pass under other settings, so it is let end first. The sweep then stays
// stopped, as after SINGLE. While a utility holds the instrument there is no
// sweep to take, and the trace on screen is no new reading (-221).
bool ScpiSession::SweepOnce() {
    if (doc_.UtilityOwns()) {
        PushError(kSettingsConflict);
        return false;
    }
    if (doc_.SweepRunning()) {
        doc_.StopAfterThisPass();
        WaitForSweep();
    }
    doc_.OnSingle();
    WaitForSweep();
    return true;
}

// Power in dBm and density in dBm/Hz of the channel on trace A, with the
// channel and percentage the window uses.
void ScpiSession::FetchChannelPower(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 0)) {
        return;
    }
    if (const std::optional<ChannelPowerReading> reading = doc_.ChannelPower()) {
        PushReadingFlag(doc_.TraceReadingFlag());
        call.reply = FormatText("%.3f,%.3f", reading->powerDbm, reading->densityDbmHz);
        PushReadingFlag(reading->flag);
        FlagUncalibratedLevels();
    } else {
        PushNoTraceReading();
    }
}

// Bandwidth and frequency error in Hz.
void ScpiSession::FetchOccupiedBandwidth(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 0)) {
        return;
    }
    if (const std::optional<OccupiedBandwidthReading> reading = doc_.OccupiedBandwidth()) {
        PushReadingFlag(doc_.TraceReadingFlag());
        call.reply = FormatText("%.3f,%.3f", reading->bandwidthHz, reading->freqErrorHz);
        PushReadingFlag(reading->flag);
    } else {
        PushNoTraceReading();
    }
}

void ScpiSession::ReadChannelPower(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0) && SweepOnce()) {
        FetchChannelPower(call);
    }
}

void ScpiSession::ReadOccupiedBandwidth(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0) && SweepOnce()) {
        FetchOccupiedBandwidth(call);
    }
}

// MEASure switches the measurement on first: on step-sweep spans that is what
// makes the sweep draw power-averaged rows the reading needs.
void ScpiSession::MeasureChannelPower(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0)) {
        TraceMeasurementSettings settings = doc_.TraceMeasurements();
        settings.channelPowerOn = true;
        doc_.SetTraceMeasurements(settings);
        ReadChannelPower(call);
    }
}

void ScpiSession::MeasureOccupiedBandwidth(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0)) {
        TraceMeasurementSettings settings = doc_.TraceMeasurements();
        settings.occupiedBandwidthOn = true;
        doc_.SetTraceMeasurements(settings);
        ReadOccupiedBandwidth(call);
    }
}

// --- The measuring receiver's controls -------------------------------------------------------

void ScpiSession::SetIfBandwidth(Call& call) {
    if (const std::optional<double> hz = Frequency(call)) {
        if (IsIfBandwidth(*hz)) {
            receiver_.ifBandwidthHz = *hz;
        } else {
            PushError(kIllegalParameterValue);
        }
    }
}

void ScpiSession::QueryIfBandwidth(Call& call) {
    call.reply = FormatText("%.3f", receiver_.ifBandwidthHz);
}

void ScpiSession::SetAudioFilter(Call& call) {
    if (!CheckParameterCount(call.unit, 1, 1)) {
        return;
    }
    const std::string word = ScpiUpper(call.unit.parameters[0]);
    if (word == "LPAS" || word == "LPASS") {
        receiver_.audioBandPass = false;
    } else if (word == "BPAS" || word == "BPASS") {
        receiver_.audioBandPass = true;
    } else {
        PushError(kIllegalParameterValue);
    }
}

void ScpiSession::QueryAudioFilter(Call& call) {
    call.reply = receiver_.audioBandPass ? "BPAS" : "LPAS";
}

void ScpiSession::SetShowAm(Call& call) {
    if (const std::optional<bool> on = Boolean(call)) {
        receiver_.showAm = *on;
    }
}

void ScpiSession::QueryShowAm(Call& call) {
    call.reply = receiver_.showAm ? "1" : "0";
}

void ScpiSession::SetShowFm(Call& call) {
    if (const std::optional<bool> on = Boolean(call)) {
        receiver_.showFm = *on;
    }
}

void ScpiSession::QueryShowFm(Call& call) {
    call.reply = receiver_.showFm ? "1" : "0";
}

// --- The utilities ---------------------------------------------------------------------------

// A program without utilities, or one whose window runs a utility now, has
// no instrument to give.
bool ScpiSession::RunnerReady() {
    if (runner_ == nullptr || !runner_->Available()) {
        PushError(kSettingsConflict);
        return false;
    }
    return true;
}

// Carrier (Hz, as the screen shows frequencies), relative and averaged power
// (dB), FM deviation rms, peak+, peak- and audio frequency (Hz), AM depth
// rms, peak+, peak- (%) and audio frequency (Hz).
void ScpiSession::MeasureReceiver(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 1)) {
        return;
    }
    int captures = 1;
    if (!call.unit.parameters.empty()) {
        const std::optional<double> count = NumberIn(call, "", 1.0, kMostCaptures);
        if (!count) {
            return;
        }
        if (*count != std::floor(*count)) {
            PushError(kDataTypeError);
            return;
        }
        captures = static_cast<int>(*count);
    }
    if (!RunnerReady()) {
        return;
    }
    std::optional<ScpiReceiverResult> result = runner_->RunReceiver(receiver_, captures);
    if (!result) {
        PushError(kDataCorruptOrStale);  // the instrument gave no data
        return;
    }
    result->carrierHz.value = doc_.FreqOffset().Shown(result->carrierHz.value);
    const ScpiModulation& fm = result->fm;
    const ScpiModulation& am = result->am;
    const std::vector<ScpiReading> fields = {
        result->carrierHz, result->relativeDb, result->averagedDb, fm.rms,
        fm.peakPlus,       fm.peakMinus,       fm.audioHz,         am.rms,
        am.peakPlus,       am.peakMinus,       am.audioHz};
    std::vector<ReadingFlag> flags;
    for (const ScpiReading& field : fields) {
        call.reply += (call.reply.empty() ? "" : ",") + Field(field);
        flags.push_back(field.flag);
    }
    PushReadingFlags(flags);
}

// "x,y" per point, all on one line.
void ScpiSession::ReplyPoints(Call& call, const std::vector<ScpiPoint>& points,
                              bool shownFrequencies) {
    std::vector<ReadingFlag> flags;
    call.reply.reserve(points.size() * 24);
    for (const ScpiPoint& p : points) {
        const double x = shownFrequencies ? doc_.FreqOffset().Shown(p.x) : p.x;
        call.reply += (call.reply.empty() ? "" : ",") + FormatText("%.3f", x) + "," + Field(p.y);
        flags.push_back(p.y.flag);
    }
    PushReadingFlags(flags);
}

// Frequency and level (dBm, with the reference level offset) of the
// fundamental and each harmonic.
void ScpiSession::MeasureHarmonics(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0) && RunnerReady()) {
        ReplyPoints(call, runner_->RunHarmonics(), true);
    }
}

// Offset from the carrier (Hz) and noise (dBc/Hz) from 1 Hz to 1 MHz.
void ScpiSession::MeasurePhaseNoise(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 0) || !RunnerReady()) {
        return;
    }
    const std::vector<ScpiPoint> points = runner_->RunPhaseNoise();
    if (points.empty()) {
        PushError(kDataCorruptOrStale);
        return;
    }
    ReplyPoints(call, points, false);
}

// "name.wav",seconds[,AM|FM]: the demodulated sound at the centre frequency,
// FM unless AM is asked, for that many seconds of sound. A server going off
// ends it, so that a long recording never holds the program's exit.
void ScpiSession::StoreAudio(Call& call) {
    if (!CheckParameterCount(call.unit, 2, 3)) {
        return;
    }
    const std::vector<std::string>& parameters = call.unit.parameters;
    const std::optional<ScpiNumber> seconds = ParseScpiNumber(parameters[1]);
    const std::string mode = parameters.size() == 3 ? ScpiUpper(parameters[2]) : "FM";
    if (!seconds || (!seconds->unit.empty() && seconds->unit != "S")) {
        PushError(seconds ? kInvalidSuffix : kDataTypeError);
        return;
    }
    if (!(seconds->value > 0.0 && seconds->value <= kLongestRecordingSeconds)) {
        PushError(kDataOutOfRange);
        return;
    }
    if (mode != "AM" && mode != "FM") {
        PushError(kIllegalParameterValue);
        return;
    }
    const std::optional<std::string> name = AllowedFileName(parameters[0], false);
    if (!name || !RunnerReady()) {
        return;
    }
    const std::string failure =
        runner_->RecordAudio(*name, seconds->value, mode == "FM", stopWaiting_);
    if (!failure.empty()) {
        LogWarning("SCPI", failure);
        PushError(kMassStorageError);
    }
}

// "name"[,seconds]: the raw I/Q of the sweeps that follow, as name.sigmf-meta
// and name.sigmf-data, for that many seconds or until MMEM:STOR:IQ:STOP.
// It records while the sweep runs; the command does not wait for it.
void ScpiSession::StoreIq(Call& call) {
    if (!CheckParameterCount(call.unit, 1, 2)) {
        return;
    }
    const std::vector<std::string>& parameters = call.unit.parameters;
    double seconds = 0.0;
    if (parameters.size() == 2) {
        const std::optional<ScpiNumber> given = ParseScpiNumber(parameters[1]);
        if (!given || (!given->unit.empty() && given->unit != "S")) {
            PushError(given ? kInvalidSuffix : kDataTypeError);
            return;
        }
        if (!(given->value > 0.0 && given->value <= kLongestRecordingSeconds)) {
            PushError(kDataOutOfRange);
            return;
        }
        seconds = given->value;
    }
    const std::optional<std::string> name = AllowedFileName(parameters[0], false);
    if (!name) {
        return;
    }
    if (const auto running = doc_.IqRecording(); running && running->running) {
        PushError(kSettingsConflict);
        return;
    }
    std::string error;
    if (!doc_.StartIqRecording(*name, seconds, error)) {
        LogWarning("SCPI", error);
        PushError(kMassStorageError);
    }
}

void ScpiSession::StopIq(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0)) {
        doc_.StopIqRecording();
    }
}

// running (1 or 0), bytes written, captures, captures dropped; while the
// last recording is one that failed, each query also queues -250.
void ScpiSession::QueryIq(Call& call) {
    const IqRecordingStatus status = doc_.IqRecording().value_or(IqRecordingStatus{});
    call.reply = std::string(status.running ? "1," : "0,") + std::to_string(status.bytesWritten) +
                 "," + std::to_string(status.captures) + "," +
                 std::to_string(status.droppedCaptures);
    if (status.failed) {
        PushError(kMassStorageError);
    }
}

}  // namespace tavlin
