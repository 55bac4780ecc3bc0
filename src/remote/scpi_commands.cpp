// The handlers of the SCPI command table (scpi_session.cpp): each calls the
// document operation the front panel uses for the same setting. Frequencies
// are those the screen shows, at the converter's input (with the
// downconverter offset), as a client reading the screen expects.
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "base/bounded_format.h"
#include "base/reading_flag.h"
#include "document/analyzer_document.h"
#include "document/level_settings.h"
#include "document/marker_commands.h"
#include "document/sweep_pause.h"
#include "remote/scpi_session.h"

namespace tavlin {

namespace {

constexpr const char* kValueFormat = "%.3f";
constexpr double kAttenStepDb = 5.0;
constexpr double kHighestAttenDb = 15.0;
constexpr int kLastMarker = ExtraMarkers::kLast;

std::string Value(double value) {
    return FormatText(kValueFormat, value);
}

bool IsVideoAveragingCount(double count) {
    return count == 1.0 || count == 10.0 || count == 100.0;
}

}  // namespace

void ScpiSession::SetCenter(Call& call) {
    if (const std::optional<double> hz = Frequency(call)) {
        doc_.SetCenter(doc_.FreqOffset().Stored(*hz));
    }
}

void ScpiSession::SetSpan(Call& call) {
    if (const std::optional<double> hz = Frequency(call)) {
        doc_.SetSpan(*hz);
    }
}

void ScpiSession::SetStart(Call& call) {
    if (const std::optional<double> hz = Frequency(call)) {
        doc_.SetStartFreq(doc_.FreqOffset().Stored(*hz));
    }
}

void ScpiSession::SetStop(Call& call) {
    if (const std::optional<double> hz = Frequency(call)) {
        doc_.SetStopFreq(doc_.FreqOffset().Stored(*hz));
    }
}

void ScpiSession::QueryCenter(Call& call) {
    call.reply = Value(doc_.FreqOffset().Shown(doc_.Frequencies().CenterHz()));
}

void ScpiSession::QuerySpan(Call& call) {
    call.reply = Value(doc_.Frequencies().SpanHz());
}

void ScpiSession::QueryStart(Call& call) {
    call.reply = Value(doc_.FreqOffset().Shown(doc_.Frequencies().startHz));
}

void ScpiSession::QueryStop(Call& call) {
    call.reply = Value(doc_.FreqOffset().Shown(doc_.Frequencies().stopHz));
}

void ScpiSession::SetRefLevel(Call& call) {
    if (const std::optional<double> dbm = Level(call)) {
        SetReferenceLevel(doc_, *dbm);
    }
}

void ScpiSession::QueryRefLevel(Call& call) {
    const double dbm = doc_.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; });
    call.reply = PowerUnitText(DbmToLevel(dbm, powerUnit_), powerUnit_);
}

// The attenuator has steps of 5 dB: a value between two is rounded to the
// nearer. The level plan may raise it again for the reference level.
void ScpiSession::SetAttenuation(Call& call) {
    if (const std::optional<double> db = Plain(call, 0.0, kHighestAttenDb)) {
        const double attenDb = kAttenStepDb * std::round(*db / kAttenStepDb);
        ChangeLevelSettings(doc_, [attenDb](InstrumentState& s) { s.attenDb = attenDb; });
    }
}

void ScpiSession::QueryAttenuation(Call& call) {
    call.reply = Value(doc_.ReadSettings([](const InstrumentState& s) { return s.attenDb; }));
}

void ScpiSession::QueryResolutionBandwidth(Call& call) {
    call.reply = Value(doc_.ReadSettings([](const InstrumentState& s) { return s.rbwHz; }));
}

// The choices of the Video Averaging menu; choosing one starts the average
// afresh, as the menu does.
void ScpiSession::SetAverageCount(Call& call) {
    const std::optional<double> count = Plain(call, 1.0, 100.0);
    if (!count) {
        return;
    }
    if (!IsVideoAveragingCount(*count)) {
        PushError(kIllegalParameterValue);
        return;
    }
    doc_.EditSettings([count](InstrumentState& s) {
        s.videoAvgCount = static_cast<int>(*count);
        s.videoAvgIndex = 0;
    });
}

void ScpiSession::QueryAverageCount(Call& call) {
    call.reply =
        std::to_string(doc_.ReadSettings([](const InstrumentState& s) { return s.videoAvgCount; }));
}

void ScpiSession::Initiate(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0)) {
        doc_.OnSingle();
    }
}

void ScpiSession::SetContinuous(Call& call) {
    if (const std::optional<bool> on = Boolean(call)) {
        if (*on) {
            doc_.OnContinuous();
        } else {
            doc_.StopAfterThisPass();
        }
    }
}

void ScpiSession::QueryContinuous(Call& call) {
    call.reply = doc_.SweepRunning() && !doc_.StopRequested() ? "1" : "0";
}

// Marker 2 exists in delta mode only, as on the panel: selecting it is the
// DELTA button, which turns it on at marker 1 or makes it the active one.
// Markers 3 to 6 are made active as the window's Marker menu does.
bool ScpiSession::SelectMarker(const Call& call) {
    if (call.suffix > kLastMarker) {
        PushError(kSuffixOutOfRange);
        return false;
    }
    MarkerCommands markers(doc_);
    if (ExtraMarkers::Holds(call.suffix) || markers.Snapshot().extra.active != 0) {
        markers.ActivateMarker(ExtraMarkers::Holds(call.suffix) ? call.suffix : 1);
        if (ExtraMarkers::Holds(call.suffix)) {
            return true;
        }
    }
    const MarkerState m = markers.Snapshot();
    const bool secondActive = m.marker2On != 0 && m.marker2Active != 0;
    if (call.suffix == 2 ? !secondActive : m.marker2Active != 0) {
        markers.Delta();
    }
    return true;
}

void ScpiSession::MarkerMaximum(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0) && SelectMarker(call)) {
        MarkerCommands(doc_).Peak();
    }
}

void ScpiSession::MarkerToCenter(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 0)) {
        return;
    }
    if (MarkerCommands(doc_).Scale().ZeroSpan()) {
        PushError(kSettingsConflict);  // a marker time is no frequency
        return;
    }
    if (SelectMarker(call)) {
        MarkerCommands(doc_).MarkerToCenter();
    }
}

void ScpiSession::QueryMarkerX(Call& call) {
    if (const std::optional<MarkerReading> marker = ReadMarker(call)) {
        call.reply = Value(marker->position);
        PushReadingFlag(doc_.TraceReadingFlag());
    }
}

void ScpiSession::QueryMarkerY(Call& call) {
    if (const std::optional<MarkerReading> marker = ReadMarker(call)) {
        // One entry for the reading's worst cause: a level off the screen of a
        // sweep that lost data is first of all incomplete.
        call.reply = ReadingFlagKeepsNumber(marker->flag) ? MarkerLevelText(*marker)
                                                          : FormatText("%.2E", kScpiNotANumber);
        PushReadingFlag(marker->flag);
        FlagUncalibratedLevels();
    }
}

// A marker that is off has no reading.
std::optional<ScpiSession::MarkerReading> ScpiSession::ReadMarker(const Call& call) {
    if (call.suffix > kLastMarker) {
        PushError(kSuffixOutOfRange);
        return std::nullopt;
    }
    const MarkerState m = MarkerCommands(doc_).Snapshot();
    if (ExtraMarkers::Holds(call.suffix)) {
        return ReadExtraMarker(m.extra.Of(call.suffix));
    }
    const bool second = call.suffix == 2;
    if ((second ? m.marker2On : m.marker1On) == 0) {
        PushError(kSettingsConflict);
        return std::nullopt;
    }
    // A time in zero span; a frequency otherwise, shown with the offset.
    const MarkerScale scale = MarkerCommands(doc_).Scale();
    const double position = second ? m.marker2Pos : m.marker1Pos;
    return MarkerReading{scale.ZeroSpan() ? position : scale.FreqOffset().Shown(position),
                         second ? m.marker2Level : m.marker1Level,
                         MarkerCommands(doc_).LevelReadingFlag(m, second)};
}

std::optional<ScpiSession::MarkerReading> ScpiSession::ReadExtraMarker(const ExtraMarker& marker) {
    if (!marker.on) {
        PushError(kSettingsConflict);
        return std::nullopt;
    }
    const MarkerCommands markers(doc_);
    const MarkerScale scale = markers.Scale();
    return MarkerReading{
        scale.ZeroSpan() ? marker.position : scale.FreqOffset().Shown(marker.position),
        marker.level, markers.LevelReadingFlag(marker.position, marker.flag)};
}

// Trace A's 641 points in the unit of the replies (Hz of deviation in FM
// zero span), as the markers read them: at the levels they were measured,
// whatever the scale has become since. Trace B as it was stored, on the
// scale it was measured on; before anything was stored it has no levels.
void ScpiSession::QueryTrace(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 1)) {
        return;
    }
    std::optional<std::size_t> trace = 0;
    if (!call.unit.parameters.empty()) {
        trace = Choice(call, {"TRACe1", "TRACe2"});
    }
    if (!trace) {
        return;
    }
    std::vector<double> levels;
    MarkerScale scale;
    if (*trace == 0) {
        PushReadingFlag(doc_.TraceReadingFlag());
        scale = MarkerCommands(doc_).RowsScale();
        const auto rows =
            doc_.ReadTrace([](const ScreenState& screen) { return screen.trace.traceA; });
        levels.assign(rows.begin(), rows.end());
    } else {
        const auto [basis, rows] = doc_.ReadTrace([](const ScreenState& screen) {
            return std::pair(screen.display.traceBBasis, screen.display.traceBRows);
        });
        if (!basis.measured) {
            PushError(kSettingsConflict);
            call.reply = TraceReply(std::vector<double>(kTracePoints, kScpiNotANumber), scale);
            return;
        }
        scale = basis.scale;
        levels.assign(rows.begin(), rows.end());
    }
    for (double& level : levels) {
        level = ReplyLevel(scale.LevelOfRow(level), scale);
    }
    call.reply = TraceReply(levels, scale);
    FlagUncalibratedLevels();
}

std::string ScpiSession::TraceReply(const std::vector<double>& levels,
                                    const MarkerScale& scale) const {
    return ScpiArrayReply(levels, dataFormat_, swappedBytes_, [this, &scale](double level) {
        if (level == kScpiNotANumber) {
            return FormatText("%.2E", level);
        }
        return scale.FmDeviation() ? Value(level) : PowerUnitText(level, powerUnit_);
    });
}

// The measurements on or off as the Utilities items turn them, keeping the
// channel and percentage last entered. While one is on, step-sweep spans
// draw power-averaged rows, which the readings need there.
void ScpiSession::SetMeasurementOn(Call& call, bool TraceMeasurementSettings::*switched) {
    if (const std::optional<bool> on = Boolean(call)) {
        TraceMeasurementSettings settings = doc_.TraceMeasurements();
        settings.*switched = *on;
        doc_.SetTraceMeasurements(settings);
    }
}

void ScpiSession::QueryMeasurementOn(Call& call, bool TraceMeasurementSettings::*switched) {
    call.reply = doc_.TraceMeasurements().*switched ? "1" : "0";
}

void ScpiSession::SetChannelPowerOn(Call& call) {
    SetMeasurementOn(call, &TraceMeasurementSettings::channelPowerOn);
}

void ScpiSession::QueryChannelPowerOn(Call& call) {
    QueryMeasurementOn(call, &TraceMeasurementSettings::channelPowerOn);
}

void ScpiSession::SetOccupiedBandwidthOn(Call& call) {
    SetMeasurementOn(call, &TraceMeasurementSettings::occupiedBandwidthOn);
}

void ScpiSession::QueryOccupiedBandwidthOn(Call& call) {
    QueryMeasurementOn(call, &TraceMeasurementSettings::occupiedBandwidthOn);
}

// A copy: the document keeps its own name, as with the automation's SAV.
void ScpiSession::StoreState(Call& call) {
    if (const std::optional<std::string> name = FileName(call, false)) {
        if (!doc_.SaveStateFile(*name, false)) {
            PushError(kMassStorageError);
        }
    }
}

// The whole recall runs with the sweep stopped: it reprograms the levels.
void ScpiSession::LoadState(Call& call) {
    if (const std::optional<std::string> name = FileName(call, true)) {
        bool loaded = false;
        {
            const SweepPause pause(doc_);
            loaded = doc_.LoadStateFile(*name, false);
        }
        if (!loaded) {
            PushError(kMassStorageError);
        }
    }
}

// Limit lines from a mask file, on at once; a file refused changes nothing.
void ScpiSession::LoadLimitMask(Call& call) {
    if (const std::optional<std::string> name = FileName(call, true)) {
        const LimitMaskParse parsed = ReadLimitMaskFile(*name);
        if (parsed.mask) {
            doc_.SetLimitMask(*parsed.mask);
        } else {
            PushError(kMassStorageError);
        }
    }
}

// 1 when the last sweep tested crossed a limit line, 0 when it stayed
// within; with the lines off there is no verdict to give. A trace that could
// not show it stayed within (over range) answers 1 and says why in the
// error queue.
void ScpiSession::QueryLimitFail(Call& call) {
    if (!CheckParameterCount(call.unit, 0, 0)) {
        return;
    }
    const LimitVerdict verdict = doc_.LimitTest();
    const ReadingFlag flag = doc_.TraceReadingFlag();
    if (verdict.tested) {
        call.reply = verdict.pass ? "0" : "1";
        if (verdict.overRange) {
            PushReadingFlag(ReadingFlag::kOverRange);
        }
    } else if (flag != ReadingFlag::kNone) {
        PushReadingFlag(flag);  // the incomplete sweep was not judged
    } else {
        PushError(kSettingsConflict);
    }
}

}  // namespace tavlin
