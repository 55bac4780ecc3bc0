// The document's side of state files: what goes into a record, and applying a
// checked record all at once.
#include <algorithm>
#include <vector>

#include "base/atomic_file.h"
#include "base/field_count.h"
#include "base/field_map.h"
#include "document/analyzer_document.h"
#include "document/level_rows.h"
#include "document/marker_scale.h"
#include "document/state_file.h"
#include "document/sweep_pause.h"
#include "document/trace_mode.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"

namespace tavlin {

namespace {

constexpr const char* kOpenCaption = "UNABLE TO OPEN";
constexpr const char* kSaveCaption = "UNABLE TO SAVE";
constexpr const char* kAdjustedCaption = "SETTINGS ADJUSTED";

// One message for the whole file: the values that were brought into range,
// one a line, so the user sees what was recalled differs from the file.
std::string AdjustmentsText(const std::filesystem::path& path,
                            const std::vector<std::string>& adjustments) {
    std::string text = path.filename().string() + ": recalled with these values changed:";
    for (const std::string& line : adjustments) {
        text += "\r\n" + line;
    }
    return text;
}

}  // namespace

std::filesystem::path AnalyzerDocument::DocumentPath() const {
    std::lock_guard lock(pathMutex_);
    return documentPath_;
}

void AnalyzerDocument::SetDocumentPath(const std::filesystem::path& path) {
    std::lock_guard lock(pathMutex_);
    documentPath_ = path;
}

void AnalyzerDocument::NewDocument() {
    SetDocumentPath({});
    TakeSavedState(CaptureStateRecord());
}

namespace {

// What the sweep writes into the record is measured, not chosen: the traces,
// the marker levels, the counted frequency, the RBW a sweep used and the
// peak it found.
StateRecord ChosenPartOf(StateRecord r) {
    const StateRecord blank;
    r.traceAInt = blank.traceAInt;
    r.traceA = blank.traceA;
    r.traceAExtra = blank.traceAExtra;
    r.marker1Level = blank.marker1Level;
    r.marker2Level = blank.marker2Level;
    r.counterFreqHz = blank.counterFreqHz;
    r.rbwHz = blank.rbwHz;
    r.peakFreqHint = blank.peakFreqHint;
    return r;
}

}  // namespace

void AnalyzerDocument::TakeSavedState(const StateRecord& record) {
    auto saved = std::make_unique<StateRecord>(ChosenPartOf(record));
    std::lock_guard lock(pathMutex_);
    savedState_ = std::move(saved);
}

bool AnalyzerDocument::ChangedSinceSaved() const {
    // Captured before the path lock is taken: no lock is held with another.
    const StateRecord now = ChosenPartOf(CaptureStateRecord());
    std::lock_guard lock(pathMutex_);
    return !savedState_ || *savedState_ != now;
}

void AnalyzerDocument::AdoptDocumentPath(const std::filesystem::path& path,
                                         bool changedSinceSaved) {
    SetDocumentPath(path);
    if (changedSinceSaved) {
        std::lock_guard lock(pathMutex_);
        savedState_.reset();
    } else {
        TakeSavedState(CaptureStateRecord());
    }
}

// What a state file carries, each record field beside the place it comes
// from and goes back to; saving and recalling both walk these lists. Trace B
// and the peak hint are mapped by hand below.
constexpr FieldMap kSettingsInFile{
    Pair(&StateRecord::refLevelOffsetDb, &InstrumentState::refLevelOffsetDb),
    Pair(&StateRecord::startFreqHz, &InstrumentState::startFreqHz),
    Pair(&StateRecord::stopFreqHz, &InstrumentState::stopFreqHz),
    Pair(&StateRecord::cfStepHz, &InstrumentState::cfStepHz),
    Pair(&StateRecord::refLevelStepDb, &InstrumentState::refLevelStepDb),
    Pair(&StateRecord::refLevelDbm, &InstrumentState::refLevelDbm),
    Pair(&StateRecord::refLevelInMv, &InstrumentState::refLevelInMv),
    Pair(&StateRecord::dbPerDiv, &InstrumentState::dbPerDiv),
    Pair(&StateRecord::attenDb, &InstrumentState::attenDb),
    Pair(&StateRecord::linearScale, &InstrumentState::linearScale),
    Pair(&StateRecord::signalTrack, &InstrumentState::signalTrack),
    Pair(&StateRecord::videoAvgCount, &InstrumentState::videoAvgCount),
    Pair(&StateRecord::videoTrigThreshold, &InstrumentState::videoTrigThreshold),
    Pair(&StateRecord::videoTrigger, &InstrumentState::videoTrigger),
    Pair(&StateRecord::zeroSpanFm, &InstrumentState::zeroSpanFm),
    Pair(&StateRecord::maxFmOffsetHz, &InstrumentState::maxFmOffsetHz),
    Pair(&StateRecord::syncTrigMode, &InstrumentState::syncTrigMode),
    Pair(&StateRecord::titleSet, &InstrumentState::titleSet),
    Pair(&StateRecord::title, &InstrumentState::title),
    Pair(&StateRecord::maxHold, &InstrumentState::maxHold),
    Pair(&StateRecord::imageReject, &InstrumentState::imageReject),
    Pair(&StateRecord::realtimeMode, &InstrumentState::realtimeMode),
    Pair(&StateRecord::sweepTimeSec, &InstrumentState::sweepTimeSec),
    Pair(&StateRecord::rbwHz, &InstrumentState::rbwHz),
    Pair(&StateRecord::counterFreqHz, &InstrumentState::counterFreqHz),
    Pair(&StateRecord::counterOn, &InstrumentState::counterOn),
    Pair(&StateRecord::spanRbwRatio, &InstrumentState::spanRbwRatio),
};
constexpr FieldMap kTraceInFile{
    Pair(&StateRecord::traceAInt, &SweepTrace::traceAInt),
    Pair(&StateRecord::traceA, &SweepTrace::traceA),
    Pair(&StateRecord::traceAExtra, &SweepTrace::traceAExtra),
};
constexpr FieldMap kMarkersInFile{
    Pair(&StateRecord::marker1On, &MarkerState::marker1On),
    Pair(&StateRecord::marker2On, &MarkerState::marker2On),
    Pair(&StateRecord::marker2Active, &MarkerState::marker2Active),
    Pair(&StateRecord::markerDelta, &MarkerState::markerDelta),
    Pair(&StateRecord::marker1Pos, &MarkerState::marker1Pos),
    Pair(&StateRecord::marker2Pos, &MarkerState::marker2Pos),
    Pair(&StateRecord::marker1Level, &MarkerState::marker1Level),
    Pair(&StateRecord::marker2Level, &MarkerState::marker2Level),
};
constexpr FieldMap kDisplayInFile{
    Pair(&StateRecord::upperLimitRows, &DisplayState::upperLimitRows),
    Pair(&StateRecord::limitLinesOn, &DisplayState::limitLinesOn),
    Pair(&StateRecord::classicColours, &DisplayState::classicColours),
    Pair(&StateRecord::traceBShown, &DisplayState::traceBShown),
};
constexpr std::size_t kFieldsMappedByHand = 2;  // traceBRows, peakFreqHint

// A field added to the settings or to the record stops the build here: decide
// whether state files carry it (the file's layout is fixed, so a new field
// goes into the record only with a new layout), add it to a list above, then
// bring the counts up to date.
// Not carried: minHold, powerAvgCount, powerAvgIndex, detector (newer than
// the file's layout; a recalled file leaves them as they are).
static_assert(FieldCount<InstrumentState>() == 51,
              "InstrumentState changed: do state files carry the new field? Map it in "
              "kSettingsInFile, then update this count");
static_assert(FieldCount<StateRecord>() == kSettingsInFile.Size() + kTraceInFile.Size() +
                                               kMarkersInFile.Size() + kDisplayInFile.Size() +
                                               kFieldsMappedByHand,
              "StateRecord changed: map the new field in one of the lists above");

namespace {

// A file holds trace B as rows on the file's own screen, the form every
// version reads. Columns where trace B measured nothing go out far below the
// screen, where a reader that knows no gaps draws them on the bottom line.
ScreenRows TraceBRowsForFile(const DisplayState& display, const MarkerScale& fileScale) {
    ScreenRows rows = RowsShownOn(display.traceBRows, display.traceBBasis, fileScale);
    std::replace(rows.begin(), rows.end(), kNoRow, kLimitRowGuard);
    return rows;
}

// Trace A goes into the file on the file's own screen too: redrawn when the
// scale moved since its sweep, columns it did not measure below the screen.
void TraceAForFile(const ScreenState& screen, const MarkerScale& fileScale, StateRecord& r) {
    const ScreenRows shown = RowsShownOn(screen.trace.traceAInt, screen.basis, fileScale);
    if (shown == screen.trace.traceAInt) {
        return;
    }
    for (int c = 0; c < kTracePoints; ++c) {
        r.traceAInt[c] = shown[c] == kNoRow ? kTraceRowBottom : shown[c];
        r.traceA[c] = r.traceAInt[c];
    }
}

ScreenRows TraceBRowsFromFile(ScreenRows rows) {
    std::replace(rows.begin(), rows.end(), kLimitRowGuard, kNoRow);
    return rows;
}

}  // namespace

StateRecord AnalyzerDocument::CaptureStateRecord() const {
    // Settings first under their lock, then the screen under the trace lock:
    // a save may run while a sweep publishes.
    StateRecord r;
    MarkerScale fileScale;
    ReadSettings([this, &r, &fileScale](const InstrumentState& s) {
        kSettingsInFile.CopyToA(r, s);
        r.peakFreqHint = engineFacts_.peakFreqHint;
        fileScale = MarkerScale::From(s);
        return 0;
    });
    std::lock_guard traceLock(traceMutex_);
    kTraceInFile.CopyToA(r, screen_.trace);
    TraceAForFile(screen_, fileScale, r);
    kMarkersInFile.CopyToA(r, screen_.markers);
    kDisplayInFile.CopyToA(r, screen_.display);
    // With the limit lines on, the screen shows the lower limit as trace B.
    r.traceBRows = screen_.display.limitLinesOn ? screen_.display.lowerLimitRows
                                                : TraceBRowsForFile(screen_.display, fileScale);
    return r;
}

void AnalyzerDocument::ApplyStateRecord(const StateRecord& r) {
    {
        std::lock_guard settingsLock(settingsMutex_);
        kSettingsInFile.CopyToB(r, state_);
        // A file's max hold ends the trace modes files do not carry: a row
        // held both ways would never change.
        if (state_.maxHold != 0) {
            SetTraceMode(state_, TraceMode::kMaxHold);
        }
        // The power average sums the sweeps before the recall, of other
        // frequencies perhaps, and the file holds no such sum: it starts
        // afresh from the next sweep, over the count chosen.
        state_.powerAvgIndex = 0;
        // The file's markers and trace belong to its own span: the screen
        // takes them as they are. A detector flag beside a real span is no
        // FM screen.
        zeroSpanShown_ = IsZeroSpan(r.stopFreqHz - r.startFreqHz);
        if (!zeroSpanShown_) {
            state_.zeroSpanFm = 0;
        }
        engineFacts_.peakFreqHint = r.peakFreqHint;
    }
    screenEpoch_.fetch_add(1);
    engine_.HintPeak(r.peakFreqHint);
    // The recalled trace was drawn under the recalled settings: max hold and
    // min hold go on from it until they change.
    const SweepSettings recalled = TakeSweepSettings();
    const MarkerScale recalledScale =
        ReadSettings([](const InstrumentState& s) { return MarkerScale::From(s); });
    // The view paints from a copy taken under the trace lock; an automation
    // recall may run while it paints.
    {
        std::lock_guard traceLock(traceMutex_);
        kTraceInFile.CopyToB(r, screen_.trace);
        kMarkersInFile.CopyToB(r, screen_.markers);
        screen_.markers.extra.active = 0;  // the file's active marker is 1 or 2
        kDisplayInFile.CopyToB(r, screen_.display);
        screen_.display.traceBRows = TraceBRowsFromFile(r.traceBRows);
        // The file's trace rows were drawn under the file's own settings.
        const TraceBasis fileBasis = TraceBasis::MeasuredOn(recalledScale);
        screen_.display.traceBBasis = fileBasis;
        screen_.basis = fileBasis;
        screen_.countedHz = r.counterFreqHz;
        screen_.display.limitMask = {};
        screen_.limitVerdict = {};
        screen_.sweepIncomplete = false;  // the file's rows are taken as they were saved
        heldRowsSettings_ = recalled;
    }
}

StateRecord AnalyzerDocument::SnapshotState() const {
    return CaptureStateRecord();
}

void AnalyzerDocument::RestoreState(const StateRecord& record) {
    const SweepPause pause(*this);
    ApplyStateRecord(record);
    ApplyLevelPlan();
    views_.UpdateAllViews();
}

bool AnalyzerDocument::LoadStateFile(const std::filesystem::path& path, bool adoptName) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, kMaxStateFileBytes, bytes, error)) {
        prompter_.Inform(error, kOpenCaption);
        return false;
    }
    const StateFileDecodeResult decoded = DecodeStateFile(bytes);
    switch (decoded.status) {
        case StateFileStatus::Empty:
            if (adoptName) {
                SetDocumentPath(path);  // opened, nothing to read, nothing changes
                TakeSavedState(CaptureStateRecord());
            }
            return true;
        case StateFileStatus::NotRecognized:
            prompter_.Inform("FILE NOT RECOGNIZED\r\n" + path.filename().string(), kOpenCaption);
            // Nothing of the file is taken, not even its name, so a later
            // Save cannot overwrite the file that could not be read.
            {
                const SweepPause pause(*this);
                ApplyLevelPlan();
                views_.UpdateAllViews();
            }
            return false;
        case StateFileStatus::Truncated:
        case StateFileStatus::NotFinite:
        case StateFileStatus::OutOfRange:
            prompter_.Inform(path.filename().string() + ": " + decoded.message, kOpenCaption);
            return false;
        case StateFileStatus::Ok:
            break;
    }
    {
        const SweepPause pause(*this);
        ApplyStateRecord(decoded.record);
        if (decoded.record.limitLinesOn) {
            RecallLimitMaskBeside(path);
        }
        ApplyLevelPlan();
        views_.UpdateAllViews();
    }
    if (adoptName) {
        SetDocumentPath(path);
        TakeSavedState(CaptureStateRecord());
    }
    if (!decoded.adjustments.empty()) {
        prompter_.Inform(AdjustmentsText(path, decoded.adjustments), kAdjustedCaption);
    }
    return true;
}

bool AnalyzerDocument::SaveStateFile(const std::filesystem::path& path, bool adoptName) {
    const StateRecord record = CaptureStateRecord();
    const std::vector<std::uint8_t> bytes = EncodeStateFile(record);
    std::string error;
    if (!WriteFileAtomically(path, bytes, error)) {
        prompter_.Inform(error, kSaveCaption);
        return false;
    }
    if (!SaveLimitMaskBeside(path)) {
        return false;
    }
    if (adoptName) {
        SetDocumentPath(path);
        TakeSavedState(record);
    }
    return true;
}

// A state file holds the limit lines as rows of the screen it was saved
// from; a mask's points, which follow the frequencies, go in a file of
// their own beside it, so that the state file stays readable by every
// release. Saving without a mask removes a mask file left by an earlier save
// under the same name, which would otherwise come back with the next recall.
bool AnalyzerDocument::SaveLimitMaskBeside(const std::filesystem::path& statePath) {
    const std::filesystem::path maskPath = LimitMaskPathBeside(statePath);
    const LimitMask mask = ReadTrace([](const ScreenState& screen) {
        return screen.display.limitLinesOn ? screen.display.limitMask : LimitMask{};
    });
    if (mask.Empty()) {
        std::error_code ignored;
        std::filesystem::remove(maskPath, ignored);
        return true;
    }
    std::string error;
    if (!WriteTextAtomically(maskPath, FormatLimitMask(mask), error)) {
        prompter_.Inform(error, kSaveCaption);
        return false;
    }
    return true;
}

// Without its mask file the recalled lines stay where the state file put
// them; a mask file that cannot be read is named, and its lines stay too.
void AnalyzerDocument::RecallLimitMaskBeside(const std::filesystem::path& statePath) {
    const std::filesystem::path maskPath = LimitMaskPathBeside(statePath);
    std::error_code missing;
    if (!std::filesystem::exists(maskPath, missing)) {
        return;
    }
    const LimitMaskParse parsed = ReadLimitMaskFile(maskPath);
    if (!parsed.mask) {
        prompter_.Inform(parsed.error, kOpenCaption);
        return;
    }
    SetLimitMask(*parsed.mask);
}

}  // namespace tavlin
