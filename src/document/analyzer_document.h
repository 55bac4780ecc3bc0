#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "device/cal_table.h"
#include "device/device_link.h"
#include "document/display_state.h"
#include "document/instrument_state.h"
#include "document/marker_state.h"
#include "sweep/sweep_engine.h"
#include "sweep/sweep_settings.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class Clock;
class Prompter;
class ProgressSink;
class UsbDriver;
class ViewNotifier;
struct StateRecord;

struct DocumentPorts {
    UsbDriver& usb;
    Clock& clock;
    Prompter& prompter;
    ViewNotifier& views;
    ProgressSink& progress;
};

struct FrequencyPair {
    double startHz = 0.0;
    double stopHz = 0.0;
    double CenterHz() const { return (startHz + stopHz) / 2.0; }
    double SpanHz() const { return stopHz - startHz; }
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
    double PredictRbw(double spanHz) const;

    FrequencyPair Frequencies() const;
    // Each writes the pair and validates it under one lock, so a sweep never
    // copies a new start with an old stop.
    void SetCenterSpan(double centerHz, double spanHz);
    void SetStartFreq(double startHz);
    void SetStopFreq(double stopHz);
    // Writes the pair as given, unvalidated (state files, already checked).
    void SetFrequencies(double startHz, double stopHz);
    void ValidateCenterSpan();
    void ValidateStartStop(int editedEdge);  // 1 = start, 2 = stop

    // --- What a sweep reads and writes -------------------------------------------
    // Settings the sweep thread reads while other threads may write them are
    // read and written under the settings lock.
    SweepSettings TakeSweepSettings() const;
    template <typename Edit>
    void EditSettings(Edit&& edit) {
        std::lock_guard lock(settingsMutex_);
        edit(state);
    }
    template <typename Read>
    auto ReadSettings(Read&& read) const {
        std::lock_guard lock(settingsMutex_);
        return read(state);
    }
    // The running video average: n = min(index + 1, count), kept for the next sweep.
    int AdvanceVideoAverage();

    Prompter& GetPrompter() { return prompter_; }
    Clock& GetClock() { return clock_; }
    ProgressSink& GetProgress() { return progress_; }
    ViewNotifier& GetViews() { return views_; }

    // --- Sweep run control ---------------------------------------------------
    void PauseSweep();
    void ResumeSweep();
    void OnSingle();
    void OnContinuous();
    void OnPreset();
    bool SweepRunning() const { return sweepRunning.load() != 0; }
    // What one pass of the sweep thread sweeps; the engine's PerformSweep
    // unless a test or a utility puts something else in.
    void SetSweepPass(std::function<void()> pass);
    // Called on the sweep thread after every pass instead of the marker level
    // refresh and signal track (tests and utilities).
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
    void NewDocument();

    // --- Shutdown ------------------------------------------------------------
    // Stops the sweep, joins it and resets the link without reopening.
    void CloseDocument();
    bool CloseRequested() const { return link.InstrumentLost(); }
    // The app's way of closing through its main thread when a reopen finds
    // no instrument.
    void SetCloseHandler(std::function<void()> handler);

    // --- Owned parts -----------------------------------------------------------
    InstrumentState state;
    DeviceLink link;
    CalTable calTable;
    SweepEngine engine;
    SweepTrace trace;
    MarkerState markers;
    DisplayState display;

    // Held by the sweep thread while it publishes a trace and marker levels,
    // and by readers that need a consistent copy of them.
    mutable std::mutex traceMutex;

    std::atomic<int> sweepRunning{0};
    std::atomic<int> stopRequest{0};

  private:
    void PresetSettings();
    void PresetMarkersAndTraces();
    void ReadIdentity();
    void LoadCalibration();
    bool StartSweepThread(bool single);
    void SweepThreadMain();
    void RunPass(const std::function<void()>& pass);
    void UpdateSweepTime(double seconds);
    void UpdateReferenceState();
    void AskAboutCommunicationError();
    void AfterPass();
    void SignalTrack();
    void WaitForSweepEnd();
    void ServeWaitHookAndSleep();
    void ShowIfCentreReset(bool wasReset);
    StateRecord CaptureStateRecord() const;
    void ApplyStateRecord(const StateRecord& record);
    void SetDocumentPath(const std::filesystem::path& path);

    Clock& clock_;
    Prompter& prompter_;
    ViewNotifier& views_;
    ProgressSink& progress_;

    mutable std::mutex settingsMutex_;
    std::recursive_mutex pauseMutex_;
    int pauseDepth_ = 0;
    std::atomic<std::thread::id> pauseOwner_{};
    bool wasSweeping_ = false;
    std::mutex threadMutex_;
    std::thread sweepThread_;
    std::mutex hookMutex_;
    std::function<void()> sweepPass_;
    std::function<void()> afterPass_;
    std::function<void()> waitHook_;
    std::function<void()> closeHandler_;
    mutable std::mutex pathMutex_;
    std::filesystem::path documentPath_;
};

}  // namespace tavlin
