// The SCPI session's bandwidth, sweep, detector, trace mode, unit, input
// and data format commands (scpi_session.cpp). The analyzer couples its
// resolution bandwidth to the span by the span/RBW ratio of the Settings
// menu, has video averaging over 1, 10 or 100 sweeps in place of a video
// filter, and draws each pixel from its FFT bins under the detector chosen
// (the RMS detector while a measurement integrates the trace): the commands
// map a bench analyzer's settings onto these.
#include <algorithm>
#include <cmath>
#include <string>

#include "base/bounded_format.h"
#include "document/analyzer_document.h"
#include "document/preset_values.h"
#include "document/sweep_pause.h"
#include "document/trace_mode.h"
#include "remote/scpi_session.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

namespace {

// The largest span/RBW ratio a state file keeps: an RBW set far below what
// the span allows must not make the state unsavable.
constexpr double kLargestSpanRbwRatio = 1e6;
constexpr int kTenSweeps = 10;
constexpr int kHundredSweeps = 100;
constexpr double kAveragingStepRatio = 10.0;

// The places of the words in the choices below.
constexpr std::size_t kWrite = 0;
constexpr std::size_t kMaxHold = 1;
constexpr std::size_t kMinHold = 2;
constexpr std::size_t kAverageMode = 3;
constexpr std::size_t kView = 4;
// The detectors in the order of the choice; NEGative has none.
constexpr std::size_t kNegative = 2;
constexpr Detector kDetectorOfChoice[] = {Detector::kPeak, Detector::kAverage, Detector::kPeak,
                                          Detector::kSample, Detector::kRms};

std::string Value(double value) {
    return FormatText("%.3f", value);
}

// VBW >= RBW: no averaging; down to RBW / 10: 10 sweeps; below: 100.
int AveragingOfVideoBandwidth(double vbwHz, double rbwHz) {
    if (vbwHz >= rbwHz) {
        return 1;
    }
    return vbwHz >= rbwHz / kAveragingStepRatio ? kTenSweeps : kHundredSweeps;
}

}  // namespace

void ScpiSession::ResetSessionSettings() {
    powerUnit_ = ScpiPowerUnit::kDbm;
    dataFormat_ = ScpiDataFormat::kAscii;
    swappedBytes_ = false;
    traceView_ = false;
    noiseMarker_ = false;
    SetDetectorAverage(false);
}

// --- Resolution and video bandwidth ------------------------------------------------------

// The ratio that asks the present span for the RBW: the sweep kind gives the
// nearest it can (an FFT size, a step filter; the narrowest and the widest
// spans have one RBW each). The RBW then follows the span at that ratio.
void ScpiSession::SetResolutionBandwidth(Call& call) {
    const std::optional<double> hz = Frequency(call);
    if (!hz) {
        return;
    }
    if (*hz <= 0.0) {
        PushError(kDataOutOfRange);
        return;
    }
    const FrequencyPair band = doc_.Frequencies();
    if (band.ZeroSpan()) {
        PushError(kSettingsConflict);  // zero span's RBW follows its sweep time
        return;
    }
    const double ratio = std::min(band.SpanHz() / *hz, kLargestSpanRbwRatio);
    doc_.EditSettings([this, ratio, &band](InstrumentState& s) {
        s.spanRbwRatio = ratio;
        s.rbwHz = doc_.PredictRbw(band.SpanHz());
    });
}

// AUTO ON is the preset's ratio of 80; OFF keeps the ratio in force.
void ScpiSession::SetResolutionBandwidthAuto(Call& call) {
    const std::optional<bool> on = Boolean(call);
    if (!on || !*on) {
        return;
    }
    const FrequencyPair band = doc_.Frequencies();
    doc_.EditSettings([this, &band](InstrumentState& s) {
        s.spanRbwRatio = preset::kSpanRbwRatio;
        if (!band.ZeroSpan()) {
            s.rbwHz = doc_.PredictRbw(band.SpanHz());
        }
    });
}

void ScpiSession::QueryResolutionBandwidthAuto(Call& call) {
    const double ratio = doc_.ReadSettings([](const InstrumentState& s) { return s.spanRbwRatio; });
    call.reply = ratio == preset::kSpanRbwRatio ? "1" : "0";
}

// Averaging starts afresh, as the Video Averaging menu does.
void ScpiSession::SetVideoBandwidth(Call& call) {
    const std::optional<double> hz = Frequency(call);
    if (!hz) {
        return;
    }
    if (*hz <= 0.0) {
        PushError(kDataOutOfRange);
        return;
    }
    doc_.EditSettings([hz](InstrumentState& s) {
        s.videoAvgCount = AveragingOfVideoBandwidth(*hz, s.rbwHz);
        s.videoAvgIndex = 0;
    });
}

// RBW / sweeps averaged: the RBW itself with no averaging.
void ScpiSession::QueryVideoBandwidth(Call& call) {
    call.reply = Value(doc_.ReadSettings([](const InstrumentState& s) {
        return s.rbwHz / std::max(1, static_cast<int>(s.videoAvgCount));
    }));
}

// AUTO ON is no averaging, as after preset; OFF keeps the averaging in force.
void ScpiSession::SetVideoBandwidthAuto(Call& call) {
    const std::optional<bool> on = Boolean(call);
    if (on && *on) {
        doc_.EditSettings([](InstrumentState& s) {
            s.videoAvgCount = preset::kVideoAvgCount;
            s.videoAvgIndex = 0;
        });
    }
}

void ScpiSession::QueryVideoBandwidthAuto(Call& call) {
    const int count = doc_.ReadSettings([](const InstrumentState& s) { return s.videoAvgCount; });
    call.reply = count == preset::kVideoAvgCount ? "1" : "0";
}

// --- Sweep ---------------------------------------------------------------------------------

// In zero span the time entered; swept, the measured duration of the
// recent sweeps (2.2 s after preset until the first sweep is measured).
void ScpiSession::QuerySweepTime(Call& call) {
    call.reply = FormatText(
        "%.6f", doc_.ReadSettings([](const InstrumentState& s) { return s.sweepTimeSec; }));
}

void ScpiSession::SetSweepPoints(Call& call) {
    const std::optional<double> points = Plain(call, 1.0, 1e9);
    if (points && *points != kTracePoints) {
        PushError(kIllegalParameterValue);
    }
}

void ScpiSession::QuerySweepPoints(Call& call) {
    call.reply = std::to_string(kTracePoints);
}

// --- Detector ------------------------------------------------------------------------------

// POSitive: the strongest bin within each pixel; SAMPle: the bin nearest
// the pixel's frequency; AVERage: the mean of their voltages; RMS: their
// mean power. A measurement that integrates the trace keeps the RMS
// detector while it is on, whatever is chosen.
void ScpiSession::SetDetector(Call& call) {
    const std::optional<std::size_t> detector =
        Choice(call, {"POSitive", "AVERage", "NEGative", "SAMPle", "RMS"});
    if (!detector) {
        return;
    }
    if (*detector == kNegative) {
        PushError(kIllegalParameterValue);  // a detector the analyzer lacks
        return;
    }
    SetDetectorInDocument(kDetectorOfChoice[*detector]);
    if (kDetectorOfChoice[*detector] != Detector::kRms && doc_.TakeSweepSettings().powerAverage) {
        PushError(kSettingsConflict);  // a measurement keeps the mean power
    }
}

void ScpiSession::QueryDetector(Call& call) {
    switch (doc_.TakeSweepSettings().detector) {
        case Detector::kSample:
            call.reply = "SAMP";
            break;
        case Detector::kAverage:
            call.reply = "AVER";
            break;
        case Detector::kRms:
            call.reply = "RMS";
            break;
        case Detector::kPeak:
            call.reply = "POS";
            break;
    }
}

void ScpiSession::SetDetectorAuto(Call& call) {
    const std::optional<bool> on = Boolean(call);
    if (on && *on) {
        SetDetectorInDocument(Detector::kPeak);
    }
}

void ScpiSession::QueryDetectorAuto(Call& call) {
    const Detector chosen = doc_.ReadSettings([](const InstrumentState& s) { return s.detector; });
    call.reply = chosen == Detector::kPeak ? "1" : "0";
}

void ScpiSession::SetDetectorInDocument(Detector detector) {
    doc_.EditSettings([detector](InstrumentState& s) { s.detector = detector; });
}

// The noise marker's mean power, turned on with it and off again after.
void ScpiSession::SetDetectorAverage(bool on) {
    TraceMeasurementSettings settings = doc_.TraceMeasurements();
    if (settings.noiseOn != on) {
        settings.noiseOn = on;
        doc_.SetTraceMeasurements(settings);
    }
}

// --- Trace mode ----------------------------------------------------------------------------

// WRITe: each sweep replaces the trace (NORMAL, no averaging); MAXHold: MAX
// HOLD; MINHold: MIN HOLD; AVERage: video averaging (10 sweeps unless a
// count is set), the mean in dB that scripts have always had, not the
// window's power average, though the query names both AVER; VIEW: the sweep
// stops and the trace stays.
void ScpiSession::SetTraceMode(Call& call) {
    const std::optional<std::size_t> mode =
        Choice(call, {"WRITe", "MAXHold", "MINHold", "AVERage", "VIEW"});
    if (!mode) {
        return;
    }
    traceView_ = *mode == kView;
    if (traceView_) {
        doc_.StopAfterThisPass();
        return;
    }
    doc_.EditSettings([&mode](InstrumentState& s) {
        const TraceMode rows = *mode == kMaxHold   ? TraceMode::kMaxHold
                               : *mode == kMinHold ? TraceMode::kMinHold
                                                   : TraceMode::kWrite;
        tavlin::SetTraceMode(s, rows);
        if (*mode == kWrite || (*mode == kAverageMode && s.videoAvgCount == 1)) {
            s.videoAvgCount = *mode == kWrite ? 1 : kTenSweeps;
            s.videoAvgIndex = 0;
        }
    });
}

void ScpiSession::QueryTraceMode(Call& call) {
    const auto [mode, count] = doc_.ReadSettings(
        [](const InstrumentState& s) { return std::pair(TraceModeOf(s), s.videoAvgCount); });
    if (traceView_ && !doc_.SweepRunning()) {
        call.reply = "VIEW";
    } else if (mode == TraceMode::kMaxHold) {
        call.reply = "MAXH";
    } else if (mode == TraceMode::kMinHold) {
        call.reply = "MINH";
    } else {
        call.reply = count > 1 || mode == TraceMode::kAverage ? "AVER" : "WRIT";
    }
}

// --- Unit, input, data format --------------------------------------------------------------

void ScpiSession::SetPowerUnit(Call& call) {
    if (!CheckParameterCount(call.unit, 1, 1)) {
        return;
    }
    if (const std::optional<ScpiPowerUnit> unit = ScpiPowerUnitNamed(call.unit.parameters[0])) {
        powerUnit_ = *unit;
    } else {
        PushError(kIllegalParameterValue);
    }
}

void ScpiSession::QueryPowerUnit(Call& call) {
    call.reply = ScpiPowerUnitName(powerUnit_);
}

// As the Settings menu switches it, with the sweep stopped; a unit without
// the preamplifier cannot turn it on.
void ScpiSession::SetPreamplifier(Call& call) {
    const std::optional<bool> on = Boolean(call);
    if (!on) {
        return;
    }
    const auto [fitted, wasOn] = doc_.ReadSettings(
        [](const InstrumentState& s) { return std::pair(s.preampAvailable, s.preampOn); });
    if (*on == wasOn) {
        return;
    }
    if (!fitted) {
        PushError(kSettingsConflict);
        return;
    }
    SweepPause pause(doc_);
    doc_.EditSettings([on](InstrumentState& s) { s.preampOn = *on; });
    pause.Instrument().Link().SetPreamp(*on);
}

void ScpiSession::QueryPreamplifier(Call& call) {
    call.reply = doc_.ReadSettings([](const InstrumentState& s) { return s.preampOn; }) ? "1" : "0";
}

// ASCii, or REAL with the optional length 32 (the only one).
void ScpiSession::SetDataFormat(Call& call) {
    if (!CheckParameterCount(call.unit, 1, 2)) {
        return;
    }
    const std::string word = ScpiUpper(call.unit.parameters[0]);
    const bool real = word == "REAL";
    if (!real && word != "ASC" && word != "ASCII") {
        PushError(kIllegalParameterValue);
        return;
    }
    if (call.unit.parameters.size() == 2 && (!real || call.unit.parameters[1] != "32")) {
        PushError(kIllegalParameterValue);
        return;
    }
    dataFormat_ = real ? ScpiDataFormat::kReal32 : ScpiDataFormat::kAscii;
}

void ScpiSession::QueryDataFormat(Call& call) {
    call.reply = dataFormat_ == ScpiDataFormat::kReal32 ? "REAL,32" : "ASC,8";
}

void ScpiSession::SetByteOrder(Call& call) {
    if (const std::optional<std::size_t> order = Choice(call, {"NORMal", "SWAPped"})) {
        swappedBytes_ = *order == 1;
    }
}

void ScpiSession::QueryByteOrder(Call& call) {
    call.reply = swappedBytes_ ? "SWAP" : "NORM";
}

}  // namespace tavlin
