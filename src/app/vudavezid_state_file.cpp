// The document's side of state files: what goes into a record, and applying a
// checked record all at once.
#include <vector>

#include "app/atomic_file.h"
#include "app/state_file.h"
#include "app/vudavezid.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"

namespace tavlin {

namespace {

constexpr const char* kOpenCaption = "UNABLE TO OPEN";
constexpr const char* kSaveCaption = "UNABLE TO SAVE";

}  // namespace

std::filesystem::path VUDAVEZid::DocumentPath() const {
    std::lock_guard lock(pathMutex_);
    return documentPath_;
}

void VUDAVEZid::SetDocumentPath(const std::filesystem::path& path) {
    std::lock_guard lock(pathMutex_);
    documentPath_ = path;
}

void VUDAVEZid::NewDocument() {
    SetDocumentPath({});
}

StateRecord VUDAVEZid::CaptureStateRecord() const {
    std::lock_guard traceLock(traceMutex);
    StateRecord r;
    const FrequencyPair f = Frequencies();
    r.refLevelOffsetDb = state.refLevelOffsetDb;
    r.startFreqHz = f.startHz;
    r.stopFreqHz = f.stopHz;
    r.cfStepHz = state.cfStepHz;
    r.refLevelStepDb = state.refLevelStepDb;
    r.refLevelDbm = state.refLevelDbm;
    r.refLevelInMv = state.refLevelInMv != 0;
    r.dbPerDiv = state.dbPerDiv;
    r.attenDb = state.attenDb;
    r.linearScale = state.linearScale != 0;
    r.signalTrack = state.signalTrack != 0;
    r.videoAvgCount = state.videoAvgCount;
    r.videoTrigThreshold = state.videoTrigThreshold;
    r.videoTrigger = state.videoTrigger;
    r.zeroSpanFm = state.zeroSpanFm != 0;
    r.maxFmOffsetHz = state.maxFmOffsetHz;
    r.traceAInt = trace.traceAInt;
    r.traceBRows = display.traceBRows;
    r.upperLimitRows = display.upperLimitRows;
    r.limitLinesOn = display.limitLinesOn;
    r.traceA = trace.traceA;
    r.traceAExtra = trace.traceAExtra;
    r.syncTrigMode = state.syncTrigMode;
    r.marker1On = markers.marker1On != 0;
    r.marker2On = markers.marker2On != 0;
    r.marker2Active = markers.marker2Active != 0;
    r.markerDelta = markers.markerDelta != 0;
    r.titleSet = state.titleSet != 0;
    r.title = state.title;
    r.maxHold = state.maxHold != 0;
    r.imageReject = state.imageReject != 0;
    r.realtimeMode = state.realtimeMode != 0;
    r.sweepTimeSec = state.sweepTimeSec;
    r.marker1Pos = markers.marker1Pos;
    r.marker2Pos = markers.marker2Pos;
    r.marker1Level = markers.marker1Level;
    r.marker2Level = markers.marker2Level;
    r.rbwHz = state.rbwHz;
    r.counterFreqHz = state.counterFreqHz;
    r.counterOn = state.counterOn;
    r.spanRbwRatio = state.spanRbwRatio;
    r.peakFreqHint = engine.peakFreqHint;
    r.classicColours = display.classicColours;
    r.traceBShown = display.traceBShown;
    return r;
}

void VUDAVEZid::ApplyStateRecord(const StateRecord& r) {
    state.refLevelOffsetDb = r.refLevelOffsetDb;
    SetFrequencies(r.startFreqHz, r.stopFreqHz);
    state.cfStepHz = r.cfStepHz;
    state.refLevelStepDb = r.refLevelStepDb;
    state.refLevelDbm = r.refLevelDbm;
    state.refLevelInMv = r.refLevelInMv;
    state.dbPerDiv = r.dbPerDiv;
    state.attenDb = r.attenDb;
    state.linearScale = r.linearScale;
    state.signalTrack = r.signalTrack;
    state.videoAvgCount = r.videoAvgCount;
    state.videoTrigThreshold = r.videoTrigThreshold;
    state.videoTrigger = r.videoTrigger;
    state.zeroSpanFm = r.zeroSpanFm;
    state.maxFmOffsetHz = r.maxFmOffsetHz;
    state.syncTrigMode = r.syncTrigMode;
    state.titleSet = r.titleSet;
    state.title = r.title;
    state.maxHold = r.maxHold;
    state.imageReject = r.imageReject;
    state.realtimeMode = r.realtimeMode;
    state.sweepTimeSec = r.sweepTimeSec;
    state.rbwHz = r.rbwHz;
    state.counterFreqHz = r.counterFreqHz;
    state.counterOn = r.counterOn;
    state.spanRbwRatio = r.spanRbwRatio;
    engine.peakFreqHint = r.peakFreqHint;
    // The view paints from a copy taken under the trace lock; an automation
    // recall may run while it paints.
    {
        std::lock_guard traceLock(traceMutex);
        trace.traceAInt = r.traceAInt;
        display.traceBRows = r.traceBRows;
        display.upperLimitRows = r.upperLimitRows;
        display.limitLinesOn = r.limitLinesOn;
        trace.traceA = r.traceA;
        trace.traceAExtra = r.traceAExtra;
        markers.marker1On = r.marker1On;
        markers.marker2On = r.marker2On;
        markers.marker2Active = r.marker2Active;
        markers.markerDelta = r.markerDelta;
        markers.marker1Pos = r.marker1Pos;
        markers.marker2Pos = r.marker2Pos;
        markers.marker1Level = r.marker1Level;
        markers.marker2Level = r.marker2Level;
        display.classicColours = r.classicColours;
        display.traceBShown = r.traceBShown;
    }
}

bool VUDAVEZid::LoadStateFile(const std::filesystem::path& path, bool adoptName) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(path, bytes, error)) {
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
            prompter_.Inform("FILE NOT RECOGNIZED", kOpenCaption);
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
    ApplyLevelPlan();
    views_.UpdateAllViews();
    ResumeSweep();
    if (adoptName) {
        SetDocumentPath(path);
    }
    return true;
}

bool VUDAVEZid::SaveStateFile(const std::filesystem::path& path, bool adoptName) {
    const std::vector<std::uint8_t> bytes = EncodeStateFile(CaptureStateRecord());
    std::string error;
    if (!WriteFileAtomically(path, bytes, error)) {
        prompter_.Inform(error, kSaveCaption);
        return false;
    }
    if (adoptName) {
        SetDocumentPath(path);
    }
    return true;
}

}  // namespace tavlin
