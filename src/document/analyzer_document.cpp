#include "document/analyzer_document.h"

#include <algorithm>
#include <cmath>

#include "base/field_count.h"
#include "base/field_map.h"
#include "document/marker_scale.h"
#include "document/preset_values.h"
#include "document/state_file.h"
#include "document/sweep_pause.h"
#include "ports/clock.h"
#include "ports/log.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sweep/amplitude_correction.h"
#include "sweep/if_path_response.h"
#include "sweep/rbw_rules.h"

namespace tavlin {

namespace {

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
    : link_(ports.usb, ports.clock, ports.prompter),
      calTable_(std::move(calCacheDirectory)),
      clock_(ports.clock),
      prompter_(ports.prompter),
      sweepPrompter_(ports.prompter, ports.clock),
      views_(ports.views),
      progress_(ports.progress) {
    link_.WatchStopRequest(&stopRequest_);
    link_.SetInstrumentLostHandler([this] {
        std::function<void()> handler;
        {
            std::lock_guard lock(hookMutex_);
            handler = closeHandler_;
        }
        if (handler) {
            handler();
        }
    });
    state_.preampAvailable = false;
    state_.preampOn = false;
    state_.timebaseCorrection = 1.0;
    sweepPass_ = [this] { PerformSweep(); };
    afterPass_ = [this] { AfterPass(); };
    link_.Open();
    if (link_.InstrumentLost()) {
        return;  // the program closes; nothing more to set up
    }
    Preset();
    state_.counterOn = false;
    state_.settingsChanged = true;
    state_.listenWideIf = true;
    state_.listenFm = true;
    state_.listenDeemphasisUs = 125.0;
    state_.freqOffsetHz = 0.0;
    TakeSavedState(CaptureStateRecord());
}

AnalyzerDocument::~AnalyzerDocument() {
    stopRequest_ = 1;
    WaitForSweepEnd();
}

// --- Preset --------------------------------------------------------------------

void AnalyzerDocument::Preset() {
    const SweepPause pause(*this);
    wasSweeping_ = false;
    // The settings and the screen are written under their locks: a preset
    // from the automation thread may meet a paint or a query on another.
    SetFrequencies(preset::kStartHz, preset::kStopHz);
    {
        std::lock_guard lock(settingsMutex_);
        PresetSettings();
    }
    PresetMarkersAndTraces();
    ReadIdentity();
    LoadCalibration();
    // The gain state is chosen against the correction, which needs the
    // unit's table and its preamplifier: planned earlier, the first sweeps
    // after start-up would run in the wrong gain state.
    ApplyLevelPlan();
    engine_.ResetWorkingValues();
    link_.ResetCachedSettings();
    views_.UpdateAllViews();
}

void AnalyzerDocument::PresetSettings() {
    state_.syncTrigMode = preset::kSyncTrigMode;
    state_.refLevelOffsetDb = preset::kRefLevelOffsetDb;
    state_.extRefLocked = false;
    state_.cfStepHz = preset::kCfStepHz;
    state_.refLevelStepDb = preset::kRefLevelStepDb;
    state_.refLevelDbm = preset::kRefLevelDbm;
    state_.refLevelInMv = 0;
    state_.dbPerDiv = preset::kDbPerDiv;
    state_.attenDb = preset::kAttenDb;
    state_.linearScale = 0;
    state_.titleSet = 0;
    state_.gainMode = preset::kGainMode;
    state_.rbwHz = preset::kRbwHz;
    state_.maxHold = 0;
    state_.minHold = 0;
    state_.powerAvgCount = 1;
    state_.powerAvgIndex = 0;
    state_.detector = Detector::kPeak;
    state_.videoTrigger = false;
    state_.signalTrack = 0;
    state_.videoAvgCount = preset::kVideoAvgCount;
    state_.sweepTimeSec = preset::kSweepTimeSec;
    state_.imageReject = preset::kImageReject ? 1 : 0;
    state_.counterOn = false;
    state_.spanRbwRatio = preset::kSpanRbwRatio;
}

namespace {

constexpr const char* kCalibrationDoubtCaption = "CALIBRATION DATA";
constexpr const char* kCalibrationDoubtText = "The calibration table cannot be right:\r\n";
constexpr const char* kCalibrationDoubtAdvice =
    "\r\nLevels are uncalibrated (U, UNCAL) until the unit's table is restored.";

void MarkersOffTraceOnTheFloor(ScreenState& screen) {
    screen.markers.marker1On = 0;
    screen.markers.marker2On = 0;
    screen.markers.marker2Active = 0;
    screen.markers.markerDelta = 0;
    screen.markers.extra = {};  // a position in Hz means nothing on a screen of times
    screen.trace.traceA.fill(kBottomRow);
    screen.trace.traceAInt.fill(static_cast<std::int32_t>(kBottomRow));
    screen.basis = {};
    screen.countedHz.reset();
    screen.sweepIncomplete = false;
}

}  // namespace

void AnalyzerDocument::PresetMarkersAndTraces() {
    std::lock_guard lock(traceMutex_);
    screen_.display.limitLinesOn = false;
    screen_.display.limitMask = {};
    screen_.limitVerdict = {};
    MarkersOffTraceOnTheFloor(screen_);
    heldRowsSettings_.reset();
    screen_.display.lowerLimitRows.fill(static_cast<std::int32_t>(kBottomRow));
    screen_.display.upperLimitRows.fill(0);
}

// The serial and firmware cannot change while the link stays open: only an
// open since the last full reading may have found another unit. Not asking
// again spares the firmware query, which waits out its time-out.
void AnalyzerDocument::ReadIdentity() {
    const int openCount = link_.OpenCount();
    if (openCount == identityOpenCount_) {
        return;
    }
    std::string serial = link_.GetSerialNumber();
    std::string firmware = link_.GetFirmwareVersion();
    identityOpenCount_ = serial.empty() || firmware.empty() ? -1 : openCount;
    std::lock_guard lock(settingsMutex_);
    state_.deviceSerial = std::move(serial);
    state_.firmwareVersion = std::move(firmware);
    state_.preampAvailable = !FirmwareLacksPreamp(state_.firmwareVersion);
}

void AnalyzerDocument::LoadCalibration() {
    const CalLoadSource source = calTable_.Load(
        ReadSettings([](const InstrumentState& s) { return s.deviceSerial; }), link_, progress_);
    calibrationIncomplete_ = source == CalLoadSource::DeviceIncomplete;
    TellCalibrationDoubt(calTable_.Untrusted());
    engine_.UseTimebase(calTable_.TimebaseCorrection());
    EditSettingsQuietly(
        [this](InstrumentState& s) { s.timebaseCorrection = calTable_.TimebaseCorrection(); });
    PublishReceiver(engine_.Receiver());
}

// A table that cannot be right is said once, with the field, and stays
// visible as the U annunciator and UNCAL beside every level until a table
// that can be right is loaded.
void AnalyzerDocument::TellCalibrationDoubt(const std::string& doubt) {
    EditSettingsQuietly([this, &doubt](InstrumentState&) { calibrationUntrusted_ = doubt; });
    // Without a unit, "Devices not found!" has said all there is.
    if (doubt.empty() || doubt == calibrationDoubtTold_ || !link_.IsOpen()) {
        calibrationDoubtTold_ = doubt;
        return;
    }
    calibrationDoubtTold_ = doubt;
    LogWarning("calibration", "the calibration table cannot be trusted: " + doubt);
    prompter_.Inform(std::string(kCalibrationDoubtText) + doubt + kCalibrationDoubtAdvice,
                     kCalibrationDoubtCaption);
}

std::string AnalyzerDocument::CalibrationUntrusted() const {
    return ReadSettings([this](const InstrumentState&) { return calibrationUntrusted_; });
}

void AnalyzerDocument::PublishReceiver(const ReceiverConstants& receiver) {
    EditSettingsQuietly([&receiver](InstrumentState& s) {
        s.sampleRateHz = receiver.sampleRateHz;
        s.ifFreq1Hz = receiver.ifFreq1Hz;
        s.ifFreq2Hz = receiver.ifFreq2Hz;
    });
}

void AnalyzerDocument::ReloadIncompleteCalibration() {
    if (!calibrationIncomplete_ || !link_.IsOpen()) {
        return;
    }
    ReadIdentity();
    LoadCalibration();
}

// --- Level plan ----------------------------------------------------------------

double AnalyzerDocument::AmplitudeCorrection(double freqHz) const {
    const LevelSettings settings{state_.attenDb, state_.gainMode, state_.preampAvailable,
                                 state_.preampOn};
    return tavlin::AmplitudeCorrection(calTable_, settings, freqHz);
}

void AnalyzerDocument::ApplyLevelPlan() {
    int gainMode = 1;
    double attenDb = 10.0;
    {
        std::lock_guard lock(settingsMutex_);
        const double ref = state_.refLevelDbm;
        if (ref > state_.attenDb) {
            state_.attenDb = ref <= 10.0 ? 10.0 : 15.0;
        }
        if (state_.startFreqHz < 150e6 && ref + 5.0 > state_.attenDb) {
            state_.attenDb = ref <= 5.0 ? 10.0 : 15.0;
        }
        state_.gainMode = 1;
        const LevelSettings normalGain{state_.attenDb, 1, state_.preampAvailable, state_.preampOn};
        const double center = (state_.startFreqHz + state_.stopFreqHz) / 2.0;
        const double correction = tavlin::AmplitudeCorrection(calTable_, normalGain, center);
        if (ref - state_.attenDb + 5.0 > correction) {
            state_.gainMode = 0;
        } else if (ref - state_.attenDb + 17.0 < correction) {
            state_.gainMode = 2;
        }
        gainMode = state_.gainMode;
        attenDb = state_.attenDb;
    }
    link_.SetGainMode(gainMode);
    link_.SetAttenuator(attenDb);
    views_.UpdateAllViews();  // the annotations show the attenuator chosen
}

double AnalyzerDocument::PredictRbw(double spanHz) const {
    return tavlin::PredictRbw(spanHz, state_.spanRbwRatio, engineFacts_.lo1ErrorHz,
                              engineFacts_.lo2ErrorHz);
}

double AnalyzerDocument::TunedIfPathFactor(int decimation, double ifHz) const {
    return TunedIfPathPowerFactor(calTable_, decimation, ifHz, engineFacts_.lo1ErrorHz);
}

double AnalyzerDocument::PeakFrequencyHint() const {
    return ReadSettings([this](const InstrumentState&) { return engineFacts_.peakFreqHint; });
}

void AnalyzerDocument::PublishEngineFacts() {
    const EngineFacts facts{engine_.Lo1ErrorHz(), engine_.Lo2ErrorHz(), engine_.PeakFreqHint()};
    EditSettingsQuietly([this, &facts](InstrumentState&) { engineFacts_ = facts; });
}

// --- Sweep settings -------------------------------------------------------------

// What a sweep copies of the settings, each field beside the setting it is
// taken from; the trace measurements' choice is added by hand below.
constexpr FieldMap kSweepSettings{
    Pair(&SweepSettings::startHz, &InstrumentState::startFreqHz),
    Pair(&SweepSettings::stopHz, &InstrumentState::stopFreqHz),
    Pair(&SweepSettings::refLevelDbm, &InstrumentState::refLevelDbm),
    Pair(&SweepSettings::dbPerDiv, &InstrumentState::dbPerDiv),
    Pair(&SweepSettings::attenDb, &InstrumentState::attenDb),
    Pair(&SweepSettings::linearScale, &InstrumentState::linearScale),
    Pair(&SweepSettings::gainMode, &InstrumentState::gainMode),
    Pair(&SweepSettings::preampAvailable, &InstrumentState::preampAvailable),
    Pair(&SweepSettings::preampOn, &InstrumentState::preampOn),
    Pair(&SweepSettings::spanRbwRatio, &InstrumentState::spanRbwRatio),
    Pair(&SweepSettings::videoAvgCount, &InstrumentState::videoAvgCount),
    Pair(&SweepSettings::maxHold, &InstrumentState::maxHold),
    Pair(&SweepSettings::minHold, &InstrumentState::minHold),
    Pair(&SweepSettings::detector, &InstrumentState::detector),
    Pair(&SweepSettings::videoTrigThreshold, &InstrumentState::videoTrigThreshold),
    Pair(&SweepSettings::syncTrigMode, &InstrumentState::syncTrigMode),
    Pair(&SweepSettings::zeroSpanFm, &InstrumentState::zeroSpanFm),
    Pair(&SweepSettings::maxFmOffsetHz, &InstrumentState::maxFmOffsetHz),
    Pair(&SweepSettings::imageReject, &InstrumentState::imageReject),
    Pair(&SweepSettings::realtimeMode, &InstrumentState::realtimeMode),
    Pair(&SweepSettings::sweepTimeSec, &InstrumentState::sweepTimeSec),
    Pair(&SweepSettings::timebaseCorrection, &InstrumentState::timebaseCorrection),
};

// A field added to either structure stops the build here: decide whether a
// sweep needs it, add it to the list above, then bring the count up to date.
static_assert(FieldCount<InstrumentState>() == 51,
              "InstrumentState changed: does a sweep need the new field? Add it to "
              "kSweepSettings, then update this count");
static_assert(FieldCount<SweepSettings>() == kSweepSettings.Size() + 1,
              "SweepSettings changed: add the new field to kSweepSettings");

SweepSettings AnalyzerDocument::TakeSweepSettings() const {
    SweepSettings s;
    ReadSettings([&s](const InstrumentState& state) {
        kSweepSettings.CopyToA(s, state);
        return 0;
    });
    // Kept with the screen, under the trace lock: never both locks at once.
    const TraceMeasurementSettings measurements = TraceMeasurements();
    if (measurements.channelPowerOn || measurements.occupiedBandwidthOn || measurements.noiseOn) {
        s.detector = Detector::kRms;
    }
    s.powerAverage = s.detector == Detector::kRms;
    return s;
}

int AnalyzerDocument::AdvanceVideoAverage() {
    std::lock_guard lock(settingsMutex_);
    const int count = std::max(1, static_cast<int>(state_.videoAvgCount));
    state_.videoAvgIndex = std::min(state_.videoAvgIndex + 1, count);
    return state_.videoAvgIndex;
}

// --- Start and stop --------------------------------------------------------------

FrequencyPair AnalyzerDocument::Frequencies() const {
    std::lock_guard lock(settingsMutex_);
    return {state_.startFreqHz, state_.stopFreqHz};
}

void AnalyzerDocument::SetFrequencies(double startHz, double stopHz) {
    {
        std::lock_guard lock(settingsMutex_);
        state_.startFreqHz = startHz;
        state_.stopFreqHz = stopHz;
    }
    FollowSpanKind();
}

void AnalyzerDocument::FollowSpanKind() {
    bool changed = false;
    MarkerScale scale;
    {
        std::lock_guard lock(settingsMutex_);
        const bool zeroSpan = IsZeroSpan(state_.stopFreqHz - state_.startFreqHz);
        changed = zeroSpan != zeroSpanShown_;
        zeroSpanShown_ = zeroSpan;
        if (!zeroSpan) {
            state_.zeroSpanFm = 0;
        }
        scale = MarkerScale::From(state_);
    }
    if (changed) {
        StartScreenAfresh(scale);
    }
}

// The markers go off at the centre of the new screen, so that a query of
// their position reads a frequency (or a time) of the screen shown.
void AnalyzerDocument::StartScreenAfresh(const MarkerScale& scale) {
    const double centre = scale.PositionOfColumn(MarkerScale::kCenterColumn);
    const double floorLevel = scale.LevelOfRow(kBottomRow);
    std::lock_guard lock(traceMutex_);
    screenEpoch_.fetch_add(1);
    screen_.markers.marker1Pos = screen_.markers.marker2Pos = centre;
    screen_.markers.marker1Level = screen_.markers.marker2Level = floorLevel;
    MarkersOffTraceOnTheFloor(screen_);
}

// Each setter writes and validates the pair under one hold of the settings
// lock: the sweep thread copies the pair under the same lock, so it never
// takes an edge that has not been validated yet.
void AnalyzerDocument::SetCenterSpan(double centerHz, double spanHz) {
    bool wasReset = false;
    {
        std::lock_guard lock(settingsMutex_);
        wasReset = WriteCenterSpanLocked(centerHz, spanHz);
    }
    AfterCenterSpan(wasReset);
}

bool AnalyzerDocument::WriteCenterSpanLocked(double centerHz, double spanHz) {
    state_.startFreqHz = centerHz - spanHz / 2.0;
    state_.stopFreqHz = centerHz + spanHz / 2.0;
    return ValidateCenterSpanLocked();
}

void AnalyzerDocument::AfterCenterSpan(bool wasReset) {
    FollowSpanKind();
    views_.UpdateAllViews();
    ShowIfCentreReset(wasReset);
}

DownconverterOffset AnalyzerDocument::FreqOffset() const {
    return ReadSettings([](const InstrumentState& s) { return s.FreqOffset(); });
}

void AnalyzerDocument::SetCenter(double centerHz) {
    bool wasReset = false;
    {
        std::lock_guard lock(settingsMutex_);
        wasReset = WriteCenterSpanLocked(centerHz, state_.stopFreqHz - state_.startFreqHz);
    }
    AfterCenterSpan(wasReset);
}

void AnalyzerDocument::SetSpan(double spanHz) {
    bool wasReset = false;
    {
        std::lock_guard lock(settingsMutex_);
        wasReset = WriteCenterSpanLocked((state_.startFreqHz + state_.stopFreqHz) / 2.0, spanHz);
    }
    AfterCenterSpan(wasReset);
}

void AnalyzerDocument::SetStartFreq(double startHz) {
    EditSettings([this, startHz](InstrumentState& s) {
        s.startFreqHz = startHz;
        ValidateStartStopLocked(1);
    });
}

void AnalyzerDocument::SetStopFreq(double stopHz) {
    EditSettings([this, stopHz](InstrumentState& s) {
        s.stopFreqHz = stopHz;
        ValidateStartStopLocked(2);
    });
}

// Both edges move together, read and written under one lock so that a
// re-centring sweep between the read and the write is not undone.
void AnalyzerDocument::ShiftFrequencies(double deltaHz) {
    bool wasReset = false;
    {
        std::lock_guard lock(settingsMutex_);
        state_.startFreqHz += deltaHz;
        state_.stopFreqHz += deltaHz;
        wasReset = ValidateCenterSpanLocked();
    }
    AfterCenterSpan(wasReset);
}

bool AnalyzerDocument::ValidateCenterSpanLocked() {
    bool wasReset = false;
    double& start = state_.startFreqHz;
    double& stop = state_.stopFreqHz;
    const double center = (start + stop) / 2.0;
    state_.settingsChanged = true;
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
    state_.rbwHz = PredictRbw(stop - start);
    return wasReset;
}

void AnalyzerDocument::ShowIfCentreReset(bool wasReset) {
    if (wasReset) {
        prompter_.Inform("CF out of bounds. Reset.", "INVALID SETTING");
    }
}

void AnalyzerDocument::ValidateStartStopLocked(int editedEdge) {
    double& start = state_.startFreqHz;
    double& stop = state_.stopFreqHz;
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
    state_.rbwHz = PredictRbw(stop - start);
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
    wasSweeping_ = sweepRunning_.load() != 0;
    if (wasSweeping_) {
        stopRequest_ = 1;
    }
    WaitForSweepEnd();
}

void AnalyzerDocument::ResumeSweep() {
    if (pauseOwner_.load() != std::this_thread::get_id()) {
        return;  // this thread holds no pause to end
    }
    if (--pauseDepth_ == 0) {
        EditSettingsQuietly([](InstrumentState& s) {
            s.videoAvgIndex = 0;
            s.settingsChanged = true;
        });
        // Whoever held the pause may have reprogrammed LO1 (a utility, a
        // link reset): the next sweep plans afresh.
        engine_.ForgetLoPlan();
        PublishEngineFacts();
        if (wasSweeping_) {
            OnContinuous();
        }
        wasSweeping_ = false;
        pauseOwner_ = std::thread::id();
    }
    pauseMutex_.unlock();
}

void AnalyzerDocument::WaitForSweepEnd() {
    while (sweepRunning_.load() != 0) {
        ServeWaitHookAndSleep();
    }
    std::lock_guard lock(threadMutex_);
    if (sweepThread_.joinable() && sweepThread_.get_id() != std::this_thread::get_id()) {
        sweepThread_.join();
    }
}

void AnalyzerDocument::CloseDocument() {
    if (sweepRunning_.load() != 0) {
        stopRequest_ = 1;
    }
    WaitForSweepEnd();
    StopIqRecording();
    link_.ResetLink(false);
}

}  // namespace tavlin
