#include "document/analyzer_document.h"

#include <algorithm>
#include <cmath>

#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sweep/amplitude_correction.h"
#include "sweep/rbw_rules.h"

namespace tavlin {

namespace {

constexpr double kPresetStartHz = 902e6;
constexpr double kPresetStopHz = 928e6;
constexpr double kMinEdgeSeparationHz = 100e3;
constexpr int kStopPollMs = 50;

bool FirmwareLacksPreamp(const std::string& version) {
    // Firmware of the 1.x generation has no preamplifier; its text carries
    // "1." after the first character.
    const auto at = version.find("1.", 1);
    return at != std::string::npos;
}

}  // namespace

AnalyzerDocument::AnalyzerDocument(const DocumentPorts& ports,
                                   std::filesystem::path calCacheDirectory)
    : link(ports.usb, ports.clock, ports.prompter),
      calTable(std::move(calCacheDirectory)),
      clock_(ports.clock),
      prompter_(ports.prompter),
      views_(ports.views),
      progress_(ports.progress) {
    link.WatchStopRequest(&stopRequest);
    link.SetInstrumentLostHandler([this] {
        std::function<void()> handler;
        {
            std::lock_guard lock(hookMutex_);
            handler = closeHandler_;
        }
        if (handler) {
            handler();
        }
    });
    state.preampAvailable = false;
    state.preampOn = false;
    state.timebaseCorrection = 1.0;
    sweepPass_ = [this] { engine.PerformSweep(*this); };
    afterPass_ = [this] { AfterPass(); };
    link.Open();
    if (link.InstrumentLost()) {
        return;  // the program closes; nothing more to set up
    }
    Preset();
    state.counterOn = false;
    state.settingsChanged = true;
    state.listenWideIf = true;
    state.listenFm = true;
    state.listenDeemphasisUs = 125.0;
    state.freqOffsetHz = 0.0;
}

AnalyzerDocument::~AnalyzerDocument() {
    stopRequest = 1;
    WaitForSweepEnd();
}

// --- Preset --------------------------------------------------------------------

void AnalyzerDocument::Preset() {
    PauseSweep();
    wasSweeping_ = false;
    // The settings and the screen are written under their locks: a preset
    // from the automation thread may meet a paint or a query on another.
    SetFrequencies(kPresetStartHz, kPresetStopHz);
    {
        std::lock_guard lock(settingsMutex_);
        PresetSettings();
    }
    PresetMarkersAndTraces();
    ApplyLevelPlan();
    ReadIdentity();
    LoadCalibration();
    engine.ResetWorkingValues();
    link.ResetCachedSettings();
    views_.UpdateAllViews();
    ResumeSweep();
}

void AnalyzerDocument::PresetSettings() {
    state.syncTrigMode = 0;
    state.refLevelOffsetDb = 0.0;
    state.extRefLocked = false;
    state.cfStepHz = 10e6;
    state.refLevelStepDb = 10.0;
    state.refLevelDbm = 0.0;
    state.refLevelInMv = 0;
    state.dbPerDiv = 10.0;
    state.attenDb = 10.0;
    state.linearScale = 0;
    state.titleSet = 0;
    state.gainMode = 0;
    state.rbwHz = 100000.0;
    state.maxHold = 0;
    state.videoTrigger = false;
    state.signalTrack = 0;
    state.videoAvgCount = 1;
    state.sweepTimeSec = 2.2;
    state.imageReject = 1;
    state.counterOn = false;
    state.spanRbwRatio = kDefaultSpanRbwRatio;
}

void AnalyzerDocument::PresetMarkersAndTraces() {
    std::lock_guard lock(traceMutex);
    display.limitLinesOn = false;
    markers.marker1On = 0;
    markers.marker2On = 0;
    markers.marker2Active = 0;
    markers.markerDelta = 0;
    trace.traceA.fill(kBottomRow);
    trace.traceAInt.fill(static_cast<std::int32_t>(kBottomRow));
    display.lowerLimitRows.fill(static_cast<std::int32_t>(kBottomRow));
    display.upperLimitRows.fill(0);
}

void AnalyzerDocument::ReadIdentity() {
    std::string serial = link.GetSerialNumber();
    std::string firmware = link.GetFirmwareVersion();
    std::lock_guard lock(settingsMutex_);
    state.deviceSerial = std::move(serial);
    state.firmwareVersion = std::move(firmware);
    state.preampAvailable = !FirmwareLacksPreamp(state.firmwareVersion);
}

void AnalyzerDocument::LoadCalibration() {
    calTable.Load(ReadSettings([](const InstrumentState& s) { return s.deviceSerial; }), link,
                  progress_);
    std::lock_guard lock(settingsMutex_);
    state.timebaseCorrection = calTable.TimebaseCorrection();
    state.ifFreq1Hz = calTable.IfFreq1Hz();
    state.ifFreq2Hz = calTable.IfFreq2Hz();
    state.sampleRateHz = calTable.SampleRateHz();
}

// --- Level plan ----------------------------------------------------------------

double AnalyzerDocument::AmplitudeCorrection(double freqHz) const {
    const LevelSettings settings{state.attenDb, state.gainMode, state.preampAvailable,
                                 state.preampOn};
    return tavlin::AmplitudeCorrection(calTable, settings, freqHz);
}

void AnalyzerDocument::ApplyLevelPlan() {
    int gainMode = 1;
    double attenDb = 10.0;
    {
        std::lock_guard lock(settingsMutex_);
        const double ref = state.refLevelDbm;
        if (ref > state.attenDb) {
            state.attenDb = ref <= 10.0 ? 10.0 : 15.0;
        }
        if (state.startFreqHz < 150e6 && ref + 5.0 > state.attenDb) {
            state.attenDb = ref <= 5.0 ? 10.0 : 15.0;
        }
        state.gainMode = 1;
        const LevelSettings normalGain{state.attenDb, 1, state.preampAvailable, state.preampOn};
        const double center = (state.startFreqHz + state.stopFreqHz) / 2.0;
        const double correction = tavlin::AmplitudeCorrection(calTable, normalGain, center);
        if (ref - state.attenDb + 5.0 > correction) {
            state.gainMode = 0;
        } else if (ref - state.attenDb + 17.0 < correction) {
            state.gainMode = 2;
        }
        gainMode = state.gainMode;
        attenDb = state.attenDb;
    }
    link.SetGainMode(gainMode);
    link.SetAttenuator(attenDb);
}

double AnalyzerDocument::PredictRbw(double spanHz) const {
    return tavlin::PredictRbw(spanHz, state.spanRbwRatio, engine.lo1ErrorHz.load(),
                              engine.lo2ErrorHz.load());
}

// --- Sweep settings -------------------------------------------------------------

SweepSettings AnalyzerDocument::TakeSweepSettings() const {
    std::lock_guard lock(settingsMutex_);
    SweepSettings s;
    s.startHz = state.startFreqHz;
    s.stopHz = state.stopFreqHz;
    s.refLevelDbm = state.refLevelDbm;
    s.dbPerDiv = state.dbPerDiv;
    s.attenDb = state.attenDb;
    s.linearScale = state.linearScale != 0;
    s.gainMode = state.gainMode;
    s.preampAvailable = state.preampAvailable;
    s.preampOn = state.preampOn;
    s.spanRbwRatio = state.spanRbwRatio;
    s.videoAvgCount = state.videoAvgCount;
    s.maxHold = state.maxHold != 0;
    s.videoTrigThreshold = state.videoTrigThreshold;
    s.syncTrigMode = state.syncTrigMode;
    s.zeroSpanFm = state.zeroSpanFm != 0;
    s.maxFmOffsetHz = state.maxFmOffsetHz;
    s.imageReject = state.imageReject != 0;
    s.realtimeMode = state.realtimeMode != 0;
    s.sweepTimeSec = state.sweepTimeSec;
    s.timebaseCorrection = state.timebaseCorrection;
    return s;
}

int AnalyzerDocument::AdvanceVideoAverage() {
    std::lock_guard lock(settingsMutex_);
    const int count = std::max(1, static_cast<int>(state.videoAvgCount));
    state.videoAvgIndex = std::min(state.videoAvgIndex + 1, count);
    return state.videoAvgIndex;
}

// --- Start and stop --------------------------------------------------------------

FrequencyPair AnalyzerDocument::Frequencies() const {
    std::lock_guard lock(settingsMutex_);
    return {state.startFreqHz, state.stopFreqHz};
}

void AnalyzerDocument::SetFrequencies(double startHz, double stopHz) {
    std::lock_guard lock(settingsMutex_);
    state.startFreqHz = startHz;
    state.stopFreqHz = stopHz;
}

void AnalyzerDocument::SetCenterSpan(double centerHz, double spanHz) {
    {
        std::lock_guard lock(settingsMutex_);
        state.startFreqHz = centerHz - spanHz / 2.0;
        state.stopFreqHz = centerHz + spanHz / 2.0;
    }
    ValidateCenterSpan();
}

void AnalyzerDocument::SetStartFreq(double startHz) {
    {
        std::lock_guard lock(settingsMutex_);
        state.startFreqHz = startHz;
    }
    ValidateStartStop(1);
}

void AnalyzerDocument::SetStopFreq(double stopHz) {
    {
        std::lock_guard lock(settingsMutex_);
        state.stopFreqHz = stopHz;
    }
    ValidateStartStop(2);
}

void AnalyzerDocument::ValidateCenterSpan() {
    bool wasReset = false;
    {
        std::lock_guard lock(settingsMutex_);
        double& start = state.startFreqHz;
        double& stop = state.stopFreqHz;
        const double center = (start + stop) / 2.0;
        state.settingsChanged = true;
        if (!(center >= 0.0 && center <= kMaxFreqHz)) {  // also catches a centre that is NaN
            wasReset = true;
            start = 2400000000.0;
            stop = 2400100000.0;
        } else {
            if (stop < start) {
                start = stop = center;
            }
            // Both edges are tested: clamping the stop can push the start
            // below zero when the centre is in the lower half of the band.
            if (stop > kMaxFreqHz) {
                stop = kMaxFreqHz;
                start = 2.0 * center - kMaxFreqHz;
            }
            if (start < 0.0) {
                start = 0.0;
                stop = 2.0 * center;
            }
        }
        state.rbwHz = PredictRbw(stop - start);
    }
    ShowIfCentreReset(wasReset);
}

void AnalyzerDocument::ShowIfCentreReset(bool wasReset) {
    if (wasReset) {
        prompter_.Inform("CF out of bounds. Reset.", "INVALID SETTING");
    }
}

void AnalyzerDocument::ValidateStartStop(int editedEdge) {
    std::lock_guard lock(settingsMutex_);
    double& start = state.startFreqHz;
    double& stop = state.stopFreqHz;
    const auto clampToBand = [](double f) {
        if (std::isnan(f)) {
            return 0.0;
        }
        return std::clamp(f, 0.0, kMaxFreqHz);
    };
    start = clampToBand(start);
    stop = clampToBand(stop);
    if (stop - start < 0.0) {
        if (editedEdge == 1) {
            stop = start + kMinEdgeSeparationHz;
        } else {
            start = stop - kMinEdgeSeparationHz;
        }
    }
    // The 100 kHz separation must not push an edge out of the band: keep the
    // separation and slide the pair back inside.
    if (stop > kMaxFreqHz) {
        stop = kMaxFreqHz;
        start = kMaxFreqHz - kMinEdgeSeparationHz;
    }
    if (start < 0.0) {
        start = 0.0;
        stop = kMinEdgeSeparationHz;
    }
    state.rbwHz = PredictRbw(stop - start);
}

// --- Run control -------------------------------------------------------------------

void AnalyzerDocument::SetSweepPass(std::function<void()> pass) {
    std::lock_guard lock(hookMutex_);
    sweepPass_ = std::move(pass);
}

void AnalyzerDocument::SetAfterPass(std::function<void()> afterPass) {
    std::lock_guard lock(hookMutex_);
    afterPass_ = std::move(afterPass);
}

void AnalyzerDocument::SetWaitHook(std::function<void()> hook) {
    std::lock_guard lock(hookMutex_);
    waitHook_ = std::move(hook);
}

void AnalyzerDocument::SetCloseHandler(std::function<void()> handler) {
    std::lock_guard lock(hookMutex_);
    closeHandler_ = std::move(handler);
}

void AnalyzerDocument::ServeWaitHookAndSleep() {
    std::function<void()> hook;
    {
        std::lock_guard lock(hookMutex_);
        hook = waitHook_;
    }
    if (hook) {
        hook();
    }
    clock_.SleepMs(kStopPollMs);
}

// Pauses from different threads (the GUI and the automation thread) are
// serialised, so one pair's wasSweeping is never overwritten by another's.
// A nested pause on the same thread only counts.
void AnalyzerDocument::PauseSweep() {
    while (!pauseMutex_.try_lock()) {
        ServeWaitHookAndSleep();
    }
    pauseOwner_ = std::this_thread::get_id();
    if (pauseDepth_++ > 0) {
        return;
    }
    wasSweeping_ = sweepRunning.load() != 0;
    if (wasSweeping_) {
        stopRequest = 1;
    }
    WaitForSweepEnd();
}

void AnalyzerDocument::ResumeSweep() {
    if (pauseOwner_.load() != std::this_thread::get_id()) {
        return;  // this thread holds no pause to end
    }
    if (--pauseDepth_ == 0) {
        EditSettings([](InstrumentState& s) {
            s.videoAvgIndex = 0;
            s.settingsChanged = true;
        });
        if (wasSweeping_) {
            OnContinuous();
        }
        wasSweeping_ = false;
        pauseOwner_ = std::thread::id();
    }
    pauseMutex_.unlock();
}

void AnalyzerDocument::WaitForSweepEnd() {
    while (sweepRunning.load() != 0) {
        ServeWaitHookAndSleep();
    }
    std::lock_guard lock(threadMutex_);
    if (sweepThread_.joinable() && sweepThread_.get_id() != std::this_thread::get_id()) {
        sweepThread_.join();
    }
}

void AnalyzerDocument::CloseDocument() {
    if (sweepRunning.load() != 0) {
        stopRequest = 1;
    }
    WaitForSweepEnd();
    link.ResetLink(false);
}

}  // namespace tavlin
