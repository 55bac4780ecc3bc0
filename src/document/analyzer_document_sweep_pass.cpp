// One sweep of the document's settings: the context the sweep kinds work in,
// and the publishing of what they produced.
#include "document/analyzer_document.h"

#include <algorithm>
#include <cmath>

#include "document/level_rows.h"
#include "ports/clock.h"
#include "ports/log.h"
#include "sweep/spectrum_rows.h"

namespace tavlin {

namespace {

// Rows drawn under other frequencies or another vertical scale stand for
// other signals: held or averaged with new rows they show as ghosts. Edges
// that moved by less than a tenth of a pixel (signal track's fine steps)
// leave every signal on its column. Peak and mean rows of one pixel differ
// too, and a min hold starts afresh from the top of the screen.
bool SameRows(const SweepSettings& held, const SweepSettings& now) {
    const double toleranceHz = std::abs(held.SpanHz()) / 6400.0;
    return std::abs(now.startHz - held.startHz) <= toleranceHz &&
           std::abs(now.stopHz - held.stopHz) <= toleranceHz &&
           now.refLevelDbm == held.refLevelDbm && now.dbPerDiv == held.dbPerDiv &&
           now.linearScale == held.linearScale && now.detector == held.detector &&
           now.minHold == held.minHold;
}

// A mask's lines are drawn on the scale the trace was; the test is of the
// lines on screen.
void TestLimits(ScreenState& screen) {
    DisplayState& display = screen.display;
    if (!display.limitLinesOn) {
        screen.limitVerdict = {};
        return;
    }
    if (!display.limitMask.Empty()) {
        const LimitRows rows = RowsOfLimitMask(display.limitMask, screen.basis.scale);
        display.upperLimitRows = rows.upper;
        display.lowerLimitRows = rows.lower;
    }
    screen.limitVerdict =
        TestTraceAgainstLimits(screen.trace.traceA, display.upperLimitRows, display.lowerLimitRows,
                               screen.basis.scale, screen.basis.ifCompressed);
}

}  // namespace

void AnalyzerDocument::PerformSweep() {
    const SweepSettings settings = TakeSweepSettings();
    SweepOutcome outcome;
    SweepContext context = BeginSweepContext(settings, outcome);
    const std::shared_ptr<IqRecorder> recorder = RunningIqRecorder();
    context.iqTap = recorder.get();
    const SweepPlan plan = engine_.PrepareSweep(context);
    // The receiver constants of the clock mode chosen are shown at once: the
    // trigger level entry reads them, also while this sweep waits for a
    // trigger.
    PublishReceiver(plan.receiver);
    SweepCountingFaults(context, [this, &context] { engine_.SweepBySpan(context); });
    PublishSweep(context);
    PublishEngineFacts();
}

void AnalyzerDocument::PerformNarrowFftSweep() {
    const SweepSettings settings = TakeSweepSettings();
    SweepOutcome outcome;
    SweepContext context = BeginSweepContext(settings, outcome);
    const std::shared_ptr<IqRecorder> recorder = RunningIqRecorder();
    context.iqTap = recorder.get();
    SweepCountingFaults(context, [this, &context] { engine_.PerformNarrowFftSweep(context); });
    PublishSweep(context);
    PublishEngineFacts();
}

// The count runs from the end of the sweep before: a setting whose write
// failed between two sweeps (a level plan, a preset) leaves the unit other
// than the sweep assumes, as surely as a write that fails within it. A link
// opened again since then starts the count afresh: the reset sent every
// setting anew.
void AnalyzerDocument::SweepCountingFaults(SweepContext& context,
                                           const std::function<void()>& sweep) {
    sweep();
    const std::uint64_t faults = link_.FaultCount();
    if (faults != std::max(sweepFaultCount_, link_.FaultCountAtOpen())) {
        context.outcome.incomplete = true;
    }
    sweepFaultCount_ = faults;
}

ReadingFlag AnalyzerDocument::TraceReadingFlag() const {
    return ReadTrace([](const ScreenState& screen) {
        return screen.sweepIncomplete ? ReadingFlag::kIncomplete : ReadingFlag::kNone;
    });
}

// Every sweep starts from the trace on screen (averaging and max hold build
// on it); the engine gives it the plan in force. Whatever
// path changed the frequencies or the scale (panel, menu, automation, a
// recalled state), max hold and the average start again from this sweep's
// rows; MAX HOLD stays selected.
SweepContext AnalyzerDocument::BeginSweepContext(const SweepSettings& settings,
                                                 SweepOutcome& outcome) {
    bool restart = false;
    {
        std::lock_guard lock(traceMutex_);
        // Max hold and the average build on complete sweeps only.
        sweepTrace_ = screen_.sweepIncomplete ? lastCompleteTrace_ : screen_.trace;
        sweepEpoch_ = screenEpoch_.load();
        // After a preset the trace is a flat line on the bottom row: nothing
        // is held yet.
        restart = heldRowsSettings_ && !SameRows(*heldRowsSettings_, settings);
        if (restart || !heldRowsSettings_) {
            heldRowsSettings_ = settings;
        }
    }
    if (restart) {
        // The floor (the top for min hold), where any new row replaces a held
        // one, and averages whose next row is taken as it is.
        const double start = settings.minHold ? kTopRowClamp : kBottomRowClamp;
        sweepTrace_.traceA.fill(start);
        sweepTrace_.traceAInt.fill(static_cast<std::int32_t>(start));
        EditSettingsQuietly([](InstrumentState& s) {
            s.videoAvgIndex = 0;
            s.powerAvgIndex = 0;
        });
    }
    SweepContext context{
        engine_,
        link_,
        calTable_,
        sweepPrompter_,
        progress_,
        clock_,
        stopRequest_,
        settings,
        sweepTrace_,
        outcome,
        [this] { return ReadSettings([](const InstrumentState& s) { return s.videoTrigger; }); },
        [this] { return AdvanceVideoAverage(); },
        [this](bool waiting) {
            triggerWaiting_ = waiting;
            views_.UpdateAllViews();
        },
    };
    context.plan = engine_.PlanInForce();
    sweepAverageIndex_ = ReadSettings([](const InstrumentState& s) { return s.videoAvgIndex; });
    return context;
}

// The rows go out with the scale and band they were drawn on, so that power
// integrated over them never mixes a new span with an old trace.
void AnalyzerDocument::PublishSweep(const SweepContext& context) {
    const SweepSettings& drawn = context.settings;
    TraceBasis basis;
    basis.scale = ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    basis.scale.startHz = drawn.startHz;
    basis.scale.stopHz = drawn.stopHz;
    basis.scale.refLevelDbm = drawn.refLevelDbm;
    basis.scale.dbPerDiv = drawn.dbPerDiv;
    basis.scale.linearScale = drawn.linearScale;
    basis.scale.zeroSpanFm = drawn.zeroSpanFm;
    basis.scale.maxFmOffsetHz = drawn.maxFmOffsetHz;
    basis.noiseBandwidthHz = context.outcome.noiseBandwidthHz;
    basis.ifCompressed = context.outcome.ifCompressed;
    basis.powerMeanRows = drawn.powerAverage;
    basis.averagedOverSweeps = drawn.videoAvgCount > 1;
    // A held trace, the highest or the lowest of its sweeps, reads noise off
    // its mean power either way.
    basis.heldOverSweeps = drawn.maxHold || drawn.minHold;
    basis.measured = true;
    const SweepOutcome& outcome = context.outcome;
    if (!outcome.incomplete) {
        AveragePowerOverSweeps(drawn);
    }
    {
        std::lock_guard lock(traceMutex_);
        if (screenEpoch_.load() != sweepEpoch_) {
            return;
        }
        if (outcome.incomplete) {
            PublishIncompleteSweepLocked();
        }
        screen_.trace.traceA = sweepTrace_.traceA;
        screen_.trace.traceAInt = sweepTrace_.traceAInt;
        screen_.basis = basis;
        if (outcome.incomplete) {
            screen_.countedHz.reset();
        } else {
            screen_.sweepIncomplete = false;
            screen_.countedHz =
                outcome.counterSet ? std::optional(outcome.counterFreqHz) : std::nullopt;
            TestLimits(screen_);
        }
    }
    if (outcome.incomplete) {
        const int index = sweepAverageIndex_;
        EditSettingsQuietly([index](InstrumentState& s) { s.videoAvgIndex = index; });
    } else {
        const SweepEnd end{ClockSeconds(), clock_.UtcSeconds()};
        {
            std::lock_guard lock(spectrogramMutex_);
            if (spectrogramOn_) {
                spectrogram_.Append(end, basis.scale, sweepTrace_.traceA);
            }
        }
        RecordSweep(basis, end, drawn.powerAverage ? Detector::kRms : drawn.detector);
    }
    PublishOutcomeSettings(outcome);
}

void AnalyzerDocument::RecordSweep(const TraceBasis& basis, const SweepEnd& end,
                                   Detector detector) {
    if (!recording_.load()) {
        return;
    }
    const InstrumentState settings = Settings();
    SweepRecord record;
    if (!MakeSweepRecord(basis, sweepTrace_.traceA, settings, end.utcSec, record)) {
        return;
    }
    record.detector = detector;
    std::lock_guard lock(recordMutex_);
    if (recordSink_) {
        recordSink_(record);
    }
}

void AnalyzerDocument::SetSweepRecordSink(std::function<void(const SweepRecord&)> sink) {
    std::lock_guard lock(recordMutex_);
    recording_ = static_cast<bool>(sink);
    recordSink_ = std::move(sink);
}

// The AVERAGE trace mode takes the sweep's rows into the mean power; an
// index set back to 0 (the mode chosen, the rows restarted) starts it anew.
void AnalyzerDocument::AveragePowerOverSweeps(const SweepSettings& drawn) {
    const auto [count, index] = ReadSettings(
        [](const InstrumentState& s) { return std::pair(s.powerAvgCount, s.powerAvgIndex); });
    if (index == 0) {
        powerAverage_.Reset();
    }
    if (count <= 1) {
        return;
    }
    sweepTrace_.traceA =
        powerAverage_.Add(sweepTrace_.traceA, drawn.dbPerDiv, drawn.linearScale, count);
    for (int i = 0; i < kTracePoints; ++i) {
        sweepTrace_.traceAInt[i] = static_cast<std::int32_t>(sweepTrace_.traceA[i]);
    }
    const int averaged = powerAverage_.Count();
    EditSettingsQuietly([averaged](InstrumentState& s) { s.powerAvgIndex = averaged; });
}

// Rows drawn from missing data would pass for a measurement: max hold and
// the average would keep them, a limit test judge them, the spectrogram
// record them. They are shown, marked, so the user sees what was lost; the
// next sweep builds on the last complete rows, kept aside, and no verdict
// is given.
void AnalyzerDocument::PublishIncompleteSweepLocked() {
    if (!screen_.sweepIncomplete) {
        lastCompleteTrace_ = screen_.trace;
    }
    screen_.sweepIncomplete = true;
    screen_.limitVerdict = {};
    incompleteSweeps_.fetch_add(1);
    LogWarning("sweep", "the sweep failed or lost data: its trace is marked INCOMPLETE");
}

// What the sweep kind set on the unit (resolution, gain state, zero-span
// time) is in force whether or not its rows were shown.
void AnalyzerDocument::PublishOutcomeSettings(const SweepOutcome& outcome) {
    EditSettingsQuietly([&outcome](InstrumentState& s) {
        if (outcome.rbwSet) {
            s.rbwHz = outcome.rbwHz;
        }
        if (outcome.counterSet) {
            s.counterFreqHz = outcome.counterFreqHz;
            s.counterFlag = outcome.counterFlag;
        }
        if (outcome.sweepTimeSet) {
            s.sweepTimeSec = outcome.sweepTimeSec;
        }
        if (outcome.gainModeSet) {
            s.gainMode = outcome.gainMode;
        }
    });
}

void AnalyzerDocument::SetSpectrogramOn(bool on) {
    {
        std::lock_guard lock(spectrogramMutex_);
        spectrogramOn_ = on;
        spectrogram_.Clear();
    }
    views_.UpdateAllViews();
}

void AnalyzerDocument::SetSpectrogramLines(std::size_t lines) {
    {
        std::lock_guard lock(spectrogramMutex_);
        spectrogram_.SetCapacity(lines);
    }
    views_.UpdateAllViews();
}

bool AnalyzerDocument::SpectrogramOn() const {
    std::lock_guard lock(spectrogramMutex_);
    return spectrogramOn_;
}

double AnalyzerDocument::ClockSeconds() const {
    return std::chrono::duration<double>(clock_.Now().time_since_epoch()).count();
}

void AnalyzerDocument::SetTraceMeasurements(const TraceMeasurementSettings& settings) {
    EditTrace([&settings](ScreenState& screen) { screen.measurements = settings; });
}

TraceMeasurementSettings AnalyzerDocument::TraceMeasurements() const {
    return ReadTrace([](const ScreenState& screen) { return screen.measurements; });
}

std::optional<ChannelPowerReading> AnalyzerDocument::ChannelPower() const {
    return ReadTrace([](const ScreenState& screen) {
        return MeasureChannelPower(screen.trace.traceA, screen.basis,
                                   screen.measurements.channelBandwidthHz);
    });
}

std::optional<OccupiedBandwidthReading> AnalyzerDocument::OccupiedBandwidth() const {
    return ReadTrace([](const ScreenState& screen) {
        return MeasureOccupiedBandwidth(screen.trace.traceA, screen.basis,
                                        screen.measurements.occupiedPercent);
    });
}

// Markers 1 and 2 on the band's edges, as single markers, each reading the
// trace at its column.
void AnalyzerDocument::PlaceOccupiedBandwidthMarkers() {
    std::lock_guard lock(traceMutex_);
    if (!screen_.measurements.occupiedBandwidthOn) {
        return;
    }
    const auto reading = MeasureOccupiedBandwidth(screen_.trace.traceA, screen_.basis,
                                                  screen_.measurements.occupiedPercent);
    if (!reading) {
        return;
    }
    const MarkerScale& scale = screen_.basis.scale;
    MarkerState& markers = screen_.markers;
    markers.marker1On = 1;
    markers.marker2On = 1;
    markers.markerDelta = 0;
    markers.marker1Pos = reading->lowHz;
    markers.marker2Pos = reading->highHz;
    const double lowRow = screen_.trace.traceA[scale.ColumnOfPosition(reading->lowHz)];
    const double highRow = screen_.trace.traceA[scale.ColumnOfPosition(reading->highHz)];
    markers.marker1Level = scale.LevelOfRow(lowRow);
    markers.marker1Flag = FlagOfRow(lowRow);
    markers.marker2Level = scale.LevelOfRow(highRow);
    markers.marker2Flag = FlagOfRow(highRow);
}

void AnalyzerDocument::SetLimitMask(const LimitMask& mask) {
    const MarkerScale scale =
        ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    const LimitRows rows = RowsOfLimitMask(mask, scale);
    EditTrace([&](ScreenState& screen) {
        screen.display.limitMask = mask;
        screen.display.limitLinesOn = true;
        screen.display.upperLimitRows = rows.upper;
        screen.display.lowerLimitRows = rows.lower;
        screen.limitVerdict = {};
    });
}

LimitMask AnalyzerDocument::LimitMaskInUse() const {
    return ReadTrace([](const ScreenState& screen) { return screen.display.limitMask; });
}

LimitVerdict AnalyzerDocument::LimitTest() const {
    return ReadTrace([](const ScreenState& screen) {
        return screen.display.limitLinesOn ? screen.limitVerdict : LimitVerdict{};
    });
}

}  // namespace tavlin
