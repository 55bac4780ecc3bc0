#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "base/reading_flag.h"
#include "device/cal_table.h"
#include "device/device_link.h"
#include "document/display_state.h"
#include "document/instrument_state.h"
#include "document/iq_recorder.h"
#include "document/limit_verdict.h"
#include "document/marker_state.h"
#include "document/spectrogram_history.h"
#include "document/sweep_record.h"
#include "document/timed_prompter.h"
#include "document/trace_measurements.h"
#include "document/trace_power_average.h"
#include "ports/view_notifier.h"
#include "sweep/sweep_engine.h"
#include "sweep/sweep_settings.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class Clock;
class MarkerScale;
class Prompter;
class ProgressSink;
class UsbDriver;
struct StateRecord;

struct DocumentPorts {
    UsbDriver& usb;
    Clock& clock;
    Prompter& prompter;
    ViewNotifier& views;
    ProgressSink& progress;
};

// What the sweep publishes and the screen shows: trace A, the markers read
// from it, and the display rows (trace B, limit lines, colours). One lock
// guards all three, so a paint or a state file copies a consistent set.
struct ScreenState {
    SweepTrace trace;
    MarkerState markers;
    DisplayState display;
    TraceBasis basis;  // of the rows of trace A
    // The counter's reading, of the sweep that published trace A; none when
    // that sweep could not count.
    std::optional<double> countedHz;
    TraceMeasurementSettings measurements;
    LimitVerdict limitVerdict;  // of the last sweep published with the limit lines on
    // The last sweep failed or lost data: its rows are shown, but no reading
    // of them is taken at face value until a complete sweep comes.
    bool sweepIncomplete = false;
};

// When an edit of the markers reaches the screen: at once, or with the next
// repaint (the sweep thread's refresh repaints after the pass as a whole).
enum class Repaint { Now, Deferred };

// The residual LO errors of the last plan (the RBW a span will get depends
// on them) and the wide sweep's peak (none below 0).
struct EngineFacts {
    double lo1ErrorHz = 0.0;
    double lo2ErrorHz = 0.0;
    double peakFreqHint = -1.0;
};

struct FrequencyPair {
    double startHz = 0.0;
    double stopHz = 0.0;
    double CenterHz() const { return (startHz + stopHz) / 2.0; }
    double SpanHz() const { return stopHz - startHz; }
    // The sweep's own test: a span below 1 Hz is swept as zero span.
    bool ZeroSpan() const { return IsZeroSpan(SpanHz()); }
};

// The document: owner of every setting, the device link, the calibration
// table, the sweep engine and the traces, for the life of the program.
class AnalyzerDocument {
  public:
    // Builds the link and engine, opens the instrument (with the connection
    // messages) and presets. When the instrument could not be found the
    // program must close: see CloseRequested().
    AnalyzerDocument(const DocumentPorts& ports, std::filesystem::path calCacheDirectory = ".");
    ~AnalyzerDocument();
    AnalyzerDocument(const AnalyzerDocument&) = delete;
    AnalyzerDocument& operator=(const AnalyzerDocument&) = delete;

    // --- Instrument state ----------------------------------------------------
    void Preset();
    void ApplyLevelPlan();
    double AmplitudeCorrection(double freqHz) const;
    // The RBW a span will get. It reads the span/RBW ratio of the settings:
    // call it inside ReadSettings or EditSettings.
    double PredictRbw(double spanHz) const;

    FrequencyPair Frequencies() const;
    // Each writes the pair and validates it under one lock, so a sweep never
    // copies a new start with an old stop.
    void SetCenterSpan(double centerHz, double spanHz);
    // CENTER keeps the span, SPAN keeps the centre, each read and written
    // under the same hold, so a re-centring sweep in between is not undone.
    // Both are stored frequencies: an entry at the converter's input goes
    // through FreqOffset().Stored first.
    void SetCenter(double centerHz);
    void SetSpan(double spanHz);
    DownconverterOffset FreqOffset() const;
    void SetStartFreq(double startHz);
    void SetStopFreq(double stopHz);
    // CF STEP: both edges moved by the step, then the centre/span rules.
    void ShiftFrequencies(double deltaHz);
    // Writes the pair as given, unvalidated (state files, already checked).
    void SetFrequencies(double startHz, double stopHz);

    // --- Settings, trace, markers and display ----------------------------------
    // The document owns its locks: every read and change of its state goes
    // through these. An edit asks the views for a repaint once the lock is
    // released, so whoever changes what the screen shows need not remember to.
    template <typename Read>
    auto ReadSettings(Read&& read) const {
        std::lock_guard lock(settingsMutex_);
        return read(std::as_const(state_));
    }
    template <typename Edit>
    auto EditSettings(Edit&& edit) {
        const RepaintOnExit repaint(views_);
        const SpanKindWatch watch(*this);
        std::lock_guard lock(settingsMutex_);
        return edit(state_);
    }
    template <typename Read>
    auto ReadTrace(Read&& read) const {
        std::lock_guard lock(traceMutex_);
        return read(std::as_const(screen_));
    }
    // Trace rows, trace B, limit lines and colours. Rows of trace A written
    // here (a utility's own plot) are drawn as they stand on the screen shown.
    template <typename Edit>
    auto EditTrace(Edit&& edit) {
        const RepaintOnExit repaint(views_);
        std::lock_guard lock(traceMutex_);
        const HandDrawnWatch watch(screen_);
        return edit(screen_);
    }
    // The markers, with the screen (trace A and its basis) they are read from.
    template <typename Edit>
    auto EditMarkers(Edit&& edit, Repaint when = Repaint::Now) {
        const RepaintOnExit repaint(views_, when);
        std::lock_guard lock(traceMutex_);
        return edit(screen_.markers, std::as_const(screen_));
    }
    // Channel power and occupied bandwidth: their settings, and their
    // readings of trace A as last published (empty when it cannot be
    // integrated). While occupied bandwidth is on, every sweep puts markers
    // 1 and 2 on the edges of the band.
    void SetTraceMeasurements(const TraceMeasurementSettings& settings);
    TraceMeasurementSettings TraceMeasurements() const;
    std::optional<ChannelPowerReading> ChannelPower() const;
    std::optional<OccupiedBandwidthReading> OccupiedBandwidth() const;
    void PlaceOccupiedBandwidthMarkers();  // after each pass
    // Limit lines from a mask, on at once; every sweep tests trace A
    // against the lines in force (a mask's or the entered levels).
    void SetLimitMask(const LimitMask& mask);
    LimitMask LimitMaskInUse() const;
    // Not tested while the limit lines are off.
    LimitVerdict LimitTest() const;
    // The spectrogram: while it is on, every published sweep adds trace A to
    // the history. Turning it on or off starts the history afresh, so a
    // waterfall never joins lines across a time it was not kept.
    void SetSpectrogramOn(bool on);
    bool SpectrogramOn() const;
    // How many sweeps the history keeps; the newest it holds stay.
    void SetSpectrogramLines(std::size_t lines);
    // The history under its own lock, for the waterfall and its export. The
    // next sweep's publishing waits for `read`: copy or convert what is
    // needed and return.
    template <typename Read>
    auto ReadSpectrogram(Read&& read) const {
        std::lock_guard lock(spectrogramMutex_);
        return read(std::as_const(spectrogram_));
    }
    // Now on the document's clock, in the seconds of the history's end times.
    double ClockSeconds() const;
    // Whoever keeps a log of the sweeps: called on the sweep thread with
    // every complete sweep of levels, after the screen has it. It must return
    // at once (queue the record and go). An empty function ends the calls;
    // once this returns, no call to the old one is under way.
    void SetSweepRecordSink(std::function<void(const SweepRecord&)> sink);
    // A copy of every setting (About box, console identity, tests).
    InstrumentState Settings() const {
        return ReadSettings([](const InstrumentState& s) { return s; });
    }
    // Asks the views to repaint the whole screen (after a change made
    // through the device or the engine rather than through an edit above).
    void RequestRepaint() { views_.UpdateAllViews(); }

    // --- What a sweep reads and writes -------------------------------------------
    // The sweep copies its settings under the settings lock when it starts.
    SweepSettings TakeSweepSettings() const;
    // The running video average: n = min(index + 1, count), kept for the next sweep.
    int AdvanceVideoAverage();
    // One sweep of the present settings on the calling thread, published into
    // the document when it returns.
    void PerformSweep();
    // The narrow FFT kind on its own (the phase-noise plot).
    void PerformNarrowFftSweep();
    // kIncomplete while the last sweep failed or lost data, else kNone: the
    // flag every reading of trace A carries.
    ReadingFlag TraceReadingFlag() const;
    // Sweeps that failed or lost data since the program started.
    std::uint64_t IncompleteSweeps() const { return incompleteSweeps_.load(); }
    // Asks the unit whether its external reference is present and takes the
    // timebase that goes with the answer (1.0 on the reference, else the
    // table's); the sweep thread does this after every pass.
    void UpdateReferenceState();
    // After a reset of the USB link that found the unit again: a calibration
    // table that came back incomplete at the last load (the unit went away
    // while it was read) is read again with the unit's identity, so levels
    // are not corrected by a damaged table until the next preset.
    void ReloadIncompleteCalibration();

    Prompter& GetPrompter() { return prompter_; }
    Clock& GetClock() { return clock_; }
    ProgressSink& GetProgress() { return progress_; }

    // --- Sweep run control ---------------------------------------------------
    void PauseSweep();
    void ResumeSweep();
    void OnSingle();
    void OnContinuous();
    void OnPreset();
    bool SweepRunning() const { return sweepRunning_.load() != 0; }
    // The running sweep ends after its pass: it is a single one, or it was
    // asked to stop (a pause, PRESET, CONTINUOUS switched off).
    bool StopRequested() const { return stopRequest_.load() != 0 || lastPass_.load() != 0; }
    // While a utility drives the sweeps itself, SINGLE and CONTINUOUS (from
    // the panel, the menu or the remote) are refused: a second sweeper would
    // retune the instrument under the utility's feet.
    void SetUtilityOwner(bool owns) { utilityOwns_ = owns; }
    bool UtilityOwns() const { return utilityOwns_.load(); }
    // A zero-span capture is waiting for its trigger.
    bool WaitingForTrigger() const { return triggerWaiting_.load(); }
    // Passes begun and passes completed (with their markers and signal track)
    // since the program started: a wait for "a pass that began after now"
    // compares the two.
    std::uint64_t PassesStarted() const { return passesStarted_.load(); }
    std::uint64_t PassesCompleted() const { return passesCompleted_.load(); }
    // Waits, at most `timeout` of real time, until more than `completedSeen`
    // passes are complete or the sweep thread has ended, so that a wait for
    // the end of a sweep returns when it ends rather than at a later poll.
    void WaitForSweepProgress(std::uint64_t completedSeen, std::chrono::milliseconds timeout);
    // For a thread that waits for another to finish: runs the wait hook (the
    // message boxes the other may be waiting on), then sleeps one poll.
    void ServeWaitHookAndSleep();
    // A continuous sweep finishes the pass in progress and ends; nothing
    // happens when no sweep runs.
    void StopAfterThisPass();
    // What one pass of the sweep thread sweeps; the document's PerformSweep
    // unless a test or a utility puts something else in.
    void SetSweepPass(std::function<void()> pass);
    // Called on the sweep thread after every pass instead of the marker level
    // refresh (tests and utilities).
    void SetAfterPass(std::function<void()> afterPass);
    // Called while a thread waits in the pause handshake, every 50 ms, so the
    // GUI thread keeps serving message boxes the sweep thread may be showing.
    void SetWaitHook(std::function<void()> hook);

    // --- State files -----------------------------------------------------------
    // Recall: the whole file is read and checked before any setting changes;
    // a bad file shows why and changes nothing. True when the state was loaded.
    // The automation recall keeps the document's own name (adoptName false).
    bool LoadStateFile(const std::filesystem::path& path, bool adoptName = true);
    // Save through a temporary file and a rename: a failed save keeps the old
    // file. True when written.
    bool SaveStateFile(const std::filesystem::path& path, bool adoptName = true);
    // The file the document was last loaded from or saved to; empty when untitled.
    std::filesystem::path DocumentPath() const;
    // Untitled, the present state taken as saved.
    void NewDocument();
    // Whether the settings, markers and display differ from those last saved,
    // recalled or made new; what the sweep measures (traces, marker levels,
    // the counted frequency) is no change of the user's.
    bool ChangedSinceSaved() const;
    // Names the document after a file without reading it (a state the window
    // kept over its last exit): unchanged takes the present state as the
    // file's.
    void AdoptDocumentPath(const std::filesystem::path& path, bool changedSinceSaved);
    // What a state file would hold, in memory, for a procedure that presets
    // the analyzer and then gives the user's settings back.
    StateRecord SnapshotState() const;
    // Puts a snapshot back as a recall does: settings, trace, markers and
    // display, then the level plan; the sweep resumes under them.
    void RestoreState(const StateRecord& record);

    // --- I/Q recording ---------------------------------------------------------
    // Records the raw captures of the zero-span and FFT sweeps as a SigMF
    // pair at `path` for `seconds` (0: until stopped) while the sweep runs.
    // False with `error` while another recording runs or when the files
    // cannot be made.
    bool StartIqRecording(const std::filesystem::path& path, double seconds, std::string& error);
    // Ends the recording, writing what is queued and the final metadata.
    void StopIqRecording();
    // The recording in progress or the last one; none before the first.
    std::optional<IqRecordingStatus> IqRecording() const;
    // The program and version a recording names as its recorder.
    void SetRecorderName(std::string name);

    // --- Shutdown ------------------------------------------------------------
    // Stops the sweep, joins it and resets the link without reopening.
    void CloseDocument();
    bool CloseRequested() const { return link_.InstrumentLost(); }
    // The app's way of closing through its main thread when a reopen finds
    // no instrument.
    void SetCloseHandler(std::function<void()> handler);

    // --- Facts of the instrument, read without a pause ---------------------------
    bool InstrumentConnected() const { return link_.IsOpen(); }
    // The reference oscillator's stored word and the calibration date of the
    // table in use (the identity lines of About and the console).
    std::uint16_t CalTcxoWord() const { return calTable_.TcxoOffset(); }
    std::string CalDate() const { return calTable_.CalDate(); }
    // Why the table in use cannot be trusted, naming the field; empty when
    // it can. Levels are uncalibrated while it is not empty.
    std::string CalibrationUntrusted() const;
    // The IF path's power factor at a decimation and IF, with the LO error
    // of the last plan: what a zero-span capture tuned now would see. It
    // reads the published LO error: call it inside ReadSettings or
    // EditSettings, as the trigger level entry does with the IF.
    double TunedIfPathFactor(int decimation, double ifHz) const;
    // The frequency the last wide sweep found its peak at; none (below 0)
    // after a narrower sweep.
    double PeakFrequencyHint() const;
    // TRIG OFF: a capture waiting for a trigger that will not come gives up,
    // so that the pause that follows does not wait for ever.
    void GiveUpTriggerWait() { link_.waitForTrigger = false; }
    // TRIG IN is armed: the next capture waits for the unit's trigger.
    bool TriggerWaitArmed() const { return link_.waitForTrigger.load(); }

  private:
    // The link, the table and the engine are reached from outside only
    // through the lease a pause hands out.
    friend class InstrumentLease;

    DeviceLink link_;
    CalTable calTable_;
    SweepEngine engine_;
    std::atomic<int> sweepRunning_{0};
    // A stop request ends waits inside the pass (a trigger, a capture); the
    // last-pass mark only ends the run after its pass, so a single sweep
    // still waits for its trigger.
    std::atomic<int> stopRequest_{0};
    std::atomic<int> lastPass_{0};
    std::atomic<bool> utilityOwns_{false};

    // Asks the views for a full repaint when it goes out of scope, after the
    // lock taken below it has been released.
    class RepaintOnExit {
      public:
        explicit RepaintOnExit(ViewNotifier& views, Repaint when = Repaint::Now)
            : views_(views), when_(when) {}
        ~RepaintOnExit() {
            if (when_ == Repaint::Now) {
                views_.UpdateAllViews();
            }
        }
        RepaintOnExit(const RepaintOnExit&) = delete;
        RepaintOnExit& operator=(const RepaintOnExit&) = delete;

      private:
        ViewNotifier& views_;
        Repaint when_;
    };

    // Rows of trace A changed by an edit are no sweep's: they lose the basis
    // of the sweep that was on screen.
    class HandDrawnWatch {
      public:
        explicit HandDrawnWatch(ScreenState& screen)
            : screen_(screen), before_(screen.trace.traceAInt) {}
        ~HandDrawnWatch() {
            if (screen_.trace.traceAInt != before_) {
                screen_.basis = {};
            }
        }
        HandDrawnWatch(const HandDrawnWatch&) = delete;
        HandDrawnWatch& operator=(const HandDrawnWatch&) = delete;

      private:
        ScreenState& screen_;
        ScreenRows before_;
    };

    // Looks, once the edit's lock is released, whether the edit entered or
    // left zero span (see FollowSpanKind).
    class SpanKindWatch {
      public:
        explicit SpanKindWatch(AnalyzerDocument& document) : doc_(document) {}
        ~SpanKindWatch() { doc_.FollowSpanKind(); }
        SpanKindWatch(const SpanKindWatch&) = delete;
        SpanKindWatch& operator=(const SpanKindWatch&) = delete;

      private:
        AnalyzerDocument& doc_;
    };

    // A trace, a marker position and the FM detector belong to one kind of
    // screen, frequency or time: entering or leaving zero span starts the
    // screen afresh (markers off, trace on the floor) and leaving it ends the
    // FM detector, whichever command changed the span.
    void FollowSpanKind();
    void StartScreenAfresh(const MarkerScale& scale);

    // The sweep thread's own bookkeeping: the screen is repainted after the
    // pass as a whole.
    template <typename Edit>
    void EditSettingsQuietly(Edit&& edit) {
        std::lock_guard lock(settingsMutex_);
        edit(state_);
    }
    // With the settings lock held: the centre/span or start/stop rules
    // applied to the pair as it stands. True when the centre was reset.
    bool ValidateCenterSpanLocked();
    bool WriteCenterSpanLocked(double centerHz, double spanHz);
    // The screen follows a new centre/span pair once the lock is released.
    void AfterCenterSpan(bool wasReset);
    void ValidateStartStopLocked(int editedEdge);  // 1 = start, 2 = stop
    SweepContext BeginSweepContext(const SweepSettings& settings, SweepOutcome& outcome);
    // On the thread that has the engine (the sweep, or the end of a pause).
    void PublishEngineFacts();
    // The receiver constants the engine chose, shown in the settings (the
    // trigger level entry reads them); a copy, never read back by a sweep.
    void PublishReceiver(const ReceiverConstants& receiver);
    void PublishSweep(const SweepContext& context);
    void RecordSweep(const TraceBasis& basis, const SweepEnd& end, Detector detector);
    void AveragePowerOverSweeps(const SweepSettings& drawn);
    // The sweep kind's work with the link's faults counted around it.
    void SweepCountingFaults(SweepContext& context, const std::function<void()>& sweep);
    // The rows are left out; the screen says the sweep was incomplete.
    void PublishIncompleteSweepLocked();
    void PublishOutcomeSettings(const SweepOutcome& outcome);
    void PresetSettings();
    void PresetMarkersAndTraces();
    void ReadIdentity();
    void LoadCalibration();
    void TellCalibrationDoubt(const std::string& doubt);
    bool StartSweepThread(bool single);
    void SweepThreadMain();
    void PauseBetweenPasses();
    void RunPass(const std::function<void()>& pass);
    void UpdateSweepTime(double seconds);
    void AskAboutCommunicationError();
    void AfterPass();
    void SignalTrack();
    void WaitForSweepEnd();
    void NotifySweepProgress();
    void ShowIfCentreReset(bool wasReset);
    StateRecord CaptureStateRecord() const;
    bool SaveLimitMaskBeside(const std::filesystem::path& statePath);
    void RecallLimitMaskBeside(const std::filesystem::path& statePath);
    void ApplyStateRecord(const StateRecord& record);
    void SetDocumentPath(const std::filesystem::path& path);
    // The state as saved: the record's part that only the user changes.
    void TakeSavedState(const StateRecord& record);

    Clock& clock_;
    Prompter& prompter_;
    // The sweep's boxes, timed so that the sweep time leaves them out.
    TimedPrompter sweepPrompter_;
    ViewNotifier& views_;
    ProgressSink& progress_;

    InstrumentState state_;
    ScreenState screen_;
    // The sweep's working copy of the trace; only the sweeping thread uses it.
    SweepTrace sweepTrace_;
    // Whether the screen shows zero span; guarded by the settings lock.
    bool zeroSpanShown_ = false;
    // What the engine last left for the other threads, published after every
    // sweep and at the end of a pause, so that the span commands predict the
    // RBW and PEAK reads the hint without reaching into an engine that
    // sweeps. Guarded by the settings lock.
    EngineFacts engineFacts_;
    // Counts the screen's fresh starts. A sweep that began before one
    // publishes nothing: its rows and RBW belong to the screen that went.
    std::atomic<std::uint64_t> screenEpoch_{0};
    std::uint64_t sweepEpoch_ = 0;  // the sweeping thread's own
    std::atomic<bool> triggerWaiting_{false};
    // The settings the rows of trace A have been held and averaged under
    // since max hold and the average last started; none until the first
    // sweep after a preset. Guarded by the trace lock.
    std::optional<SweepSettings> heldRowsSettings_;

    mutable std::mutex settingsMutex_;
    // Held by the sweep thread while it publishes a trace and marker levels,
    // and by readers that need a consistent copy of them.
    mutable std::mutex traceMutex_;
    std::recursive_mutex pauseMutex_;
    int pauseDepth_ = 0;
    std::atomic<std::uint64_t> passesStarted_{0};
    std::atomic<std::uint64_t> passesCompleted_{0};
    std::atomic<std::uint64_t> incompleteSweeps_{0};
    // The running average's index as the sweep found it: a sweep that is
    // not shown must not count as one averaged in.
    int sweepAverageIndex_ = 0;
    std::uint64_t sweepFaultCount_ = 0;  // the link's, as the last sweep ended
    // While the screen shows an incomplete sweep: the rows before it, which
    // the next sweep's max hold and average build on. Guarded by the trace lock.
    SweepTrace lastCompleteTrace_;
    // The AVERAGE trace mode's mean power; the sweep thread's alone.
    TracePowerAverage powerAverage_;
    std::mutex progressMutex_;
    std::condition_variable progressChanged_;
    std::atomic<std::thread::id> pauseOwner_{};
    bool wasSweeping_ = false;
    std::atomic<bool> calibrationIncomplete_{false};
    // Copied from the table at each load, under the settings lock; the last
    // doubt told to the user, so that every preset does not tell it again.
    std::string calibrationUntrusted_;
    std::string calibrationDoubtTold_;
    // The link's open count at the last full identity reading; -1 for none.
    int identityOpenCount_ = -1;
    std::mutex threadMutex_;
    std::thread sweepThread_;
    std::mutex hookMutex_;
    std::function<void()> sweepPass_;
    std::function<void()> afterPass_;
    std::function<void()> waitHook_;
    std::function<void()> closeHandler_;
    // Taken alone, never with the settings or trace lock held.
    mutable std::mutex spectrogramMutex_;
    bool spectrogramOn_ = false;
    SpectrogramHistory spectrogram_;
    // Held while the record sink is called or changed.
    mutable std::mutex recordMutex_;
    std::function<void(const SweepRecord&)> recordSink_;
    std::atomic<bool> recording_{false};
    mutable std::mutex pathMutex_;
    std::filesystem::path documentPath_;
    // Taken alone. The sweep holds its own reference to the recorder for the
    // length of a pass, so a recording replaced meanwhile outlives the pass.
    mutable std::mutex iqMutex_;
    std::shared_ptr<IqRecorder> iqRecorder_;
    std::string recorderName_ = "tavlin";

    std::shared_ptr<IqRecorder> RunningIqRecorder() const;
    // The state last saved, recalled or made new; none while it is unknown.
    // Guarded by pathMutex_.
    std::unique_ptr<StateRecord> savedState_;
};

}  // namespace tavlin
