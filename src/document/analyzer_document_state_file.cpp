// The document's side of state files: what goes into a record, and applying a
// checked record all at once.
#include <vector>

#include "base/atomic_file.h"
#include "base/field_count.h"
#include "document/analyzer_document.h"
#include "document/state_file.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"

namespace tavlin {

namespace {

constexpr const char* kOpenCaption = "UNABLE TO OPEN";
constexpr const char* kSaveCaption = "UNABLE TO SAVE";

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
}

// A field added to the settings or to the record stops the build here: decide
// whether state files carry it (the file's layout is fixed, so a new field
// goes into the record only with a new layout), map it in both directions
// below, then bring the counts up to date.
static_assert(FieldCount<InstrumentState>() == 46,
              "InstrumentState changed: do state files carry the new field? Map it in "
              "CaptureStateRecord and ApplyStateRecord, then update this count");
static_assert(FieldCount<StateRecord>() == 44,
              "StateRecord changed: map the new field in CaptureStateRecord and "
              "ApplyStateRecord, then update this count");

StateRecord AnalyzerDocument::CaptureStateRecord() const {
    // Settings first under their lock, then the screen under the trace lock:
    // a save may run while a sweep publishes.
    const InstrumentState settings = ReadSettings([](const InstrumentState& s) { return s; });
    std::lock_guard traceLock(traceMutex_);
    StateRecord r;
    r.refLevelOffsetDb = settings.refLevelOffsetDb;
    r.startFreqHz = settings.startFreqHz;
    r.stopFreqHz = settings.stopFreqHz;
    r.cfStepHz = settings.cfStepHz;
    r.refLevelStepDb = settings.refLevelStepDb;
    r.refLevelDbm = settings.refLevelDbm;
    r.refLevelInMv = settings.refLevelInMv != 0;
    r.dbPerDiv = settings.dbPerDiv;
    r.attenDb = settings.attenDb;
    r.linearScale = settings.linearScale != 0;
    r.signalTrack = settings.signalTrack != 0;
    r.videoAvgCount = settings.videoAvgCount;
    r.videoTrigThreshold = settings.videoTrigThreshold;
    r.videoTrigger = settings.videoTrigger;
    r.zeroSpanFm = settings.zeroSpanFm != 0;
    r.maxFmOffsetHz = settings.maxFmOffsetHz;
    r.traceAInt = screen_.trace.traceAInt;
    // With the limit lines on, the screen shows the lower limit as trace B.
    r.traceBRows =
        screen_.display.limitLinesOn ? screen_.display.lowerLimitRows : screen_.display.traceBRows;
    r.upperLimitRows = screen_.display.upperLimitRows;
    r.limitLinesOn = screen_.display.limitLinesOn;
    r.traceA = screen_.trace.traceA;
    r.traceAExtra = screen_.trace.traceAExtra;
    r.syncTrigMode = settings.syncTrigMode;
    r.marker1On = screen_.markers.marker1On != 0;
    r.marker2On = screen_.markers.marker2On != 0;
    r.marker2Active = screen_.markers.marker2Active != 0;
    r.markerDelta = screen_.markers.markerDelta != 0;
    r.titleSet = settings.titleSet != 0;
    r.title = settings.title;
    r.maxHold = settings.maxHold != 0;
    r.imageReject = settings.imageReject != 0;
    r.realtimeMode = settings.realtimeMode != 0;
    r.sweepTimeSec = settings.sweepTimeSec;
    r.marker1Pos = screen_.markers.marker1Pos;
    r.marker2Pos = screen_.markers.marker2Pos;
    r.marker1Level = screen_.markers.marker1Level;
    r.marker2Level = screen_.markers.marker2Level;
    r.rbwHz = settings.rbwHz;
    r.counterFreqHz = settings.counterFreqHz;
    r.counterOn = settings.counterOn;
    r.spanRbwRatio = settings.spanRbwRatio;
    r.peakFreqHint = engine.peakFreqHint;
    r.classicColours = screen_.display.classicColours;
    r.traceBShown = screen_.display.traceBShown;
    return r;
}

void AnalyzerDocument::ApplyStateRecord(const StateRecord& r) {
    {
        std::lock_guard settingsLock(settingsMutex_);
        state_.refLevelOffsetDb = r.refLevelOffsetDb;
        state_.startFreqHz = r.startFreqHz;
        state_.stopFreqHz = r.stopFreqHz;
        state_.cfStepHz = r.cfStepHz;
        state_.refLevelStepDb = r.refLevelStepDb;
        state_.refLevelDbm = r.refLevelDbm;
        state_.refLevelInMv = r.refLevelInMv;
        state_.dbPerDiv = r.dbPerDiv;
        state_.attenDb = r.attenDb;
        state_.linearScale = r.linearScale;
        state_.signalTrack = r.signalTrack;
        state_.videoAvgCount = r.videoAvgCount;
        state_.videoTrigThreshold = r.videoTrigThreshold;
        state_.videoTrigger = r.videoTrigger;
        state_.zeroSpanFm = r.zeroSpanFm;
        state_.maxFmOffsetHz = r.maxFmOffsetHz;
        state_.syncTrigMode = r.syncTrigMode;
        state_.titleSet = r.titleSet;
        state_.title = r.title;
        state_.maxHold = r.maxHold;
        state_.imageReject = r.imageReject;
        state_.realtimeMode = r.realtimeMode;
        state_.sweepTimeSec = r.sweepTimeSec;
        state_.rbwHz = r.rbwHz;
        state_.counterFreqHz = r.counterFreqHz;
        state_.counterOn = r.counterOn;
        state_.spanRbwRatio = r.spanRbwRatio;
        // The file's markers and trace belong to its own span: the screen
        // takes them as they are. A detector flag beside a real span is no
        // FM screen.
        zeroSpanShown_ = IsZeroSpan(r.stopFreqHz - r.startFreqHz);
        if (!zeroSpanShown_) {
            state_.zeroSpanFm = 0;
        }
    }
    screenEpoch_.fetch_add(1);
    engine.peakFreqHint = r.peakFreqHint;
    // The recalled trace was drawn under the recalled settings: max hold and
    // the average go on from it until they change.
    const SweepSettings recalled = TakeSweepSettings();
    // The view paints from a copy taken under the trace lock; an automation
    // recall may run while it paints.
    {
        std::lock_guard traceLock(traceMutex_);
        screen_.trace.traceAInt = r.traceAInt;
        screen_.display.traceBRows = r.traceBRows;
        screen_.display.upperLimitRows = r.upperLimitRows;
        screen_.display.limitLinesOn = r.limitLinesOn;
        screen_.display.limitMask = {};
        screen_.limitVerdict = {};
        screen_.trace.traceA = r.traceA;
        heldRowsSettings_ = recalled;
        screen_.trace.traceAExtra = r.traceAExtra;
        screen_.markers.marker1On = r.marker1On;
        screen_.markers.marker2On = r.marker2On;
        screen_.markers.marker2Active = r.marker2Active;
        screen_.markers.markerDelta = r.markerDelta;
        screen_.markers.marker1Pos = r.marker1Pos;
        screen_.markers.marker2Pos = r.marker2Pos;
        screen_.markers.marker1Level = r.marker1Level;
        screen_.markers.marker2Level = r.marker2Level;
        screen_.display.classicColours = r.classicColours;
        screen_.display.traceBShown = r.traceBShown;
    }
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
            }
            return true;
        case StateFileStatus::NotRecognized:
            prompter_.Inform("FILE NOT RECOGNIZED\r\n" + path.filename().string(), kOpenCaption);
            // Nothing of the file is taken, not even its name, so a later
            // Save cannot overwrite the file that could not be read.
            PauseSweep();
            ApplyLevelPlan();
            views_.UpdateAllViews();
            ResumeSweep();
            return false;
        case StateFileStatus::Truncated:
        case StateFileStatus::NotFinite:
        case StateFileStatus::OutOfRange:
            prompter_.Inform(path.filename().string() + ": " + decoded.message, kOpenCaption);
            return false;
        case StateFileStatus::Ok:
            break;
    }
    PauseSweep();
    ApplyStateRecord(decoded.record);
    if (decoded.record.limitLinesOn) {
        RecallLimitMaskBeside(path);
    }
    ApplyLevelPlan();
    views_.UpdateAllViews();
    ResumeSweep();
    if (adoptName) {
        SetDocumentPath(path);
    }
    return true;
}

bool AnalyzerDocument::SaveStateFile(const std::filesystem::path& path, bool adoptName) {
    const std::vector<std::uint8_t> bytes = EncodeStateFile(CaptureStateRecord());
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
