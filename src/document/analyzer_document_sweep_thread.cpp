// The sweep thread: starting it, one pass after another, and what follows
// each pass (sweep time, reference check, the communication-error question).
#include <pthread.h>
#include <sched.h>

#include <algorithm>

#include "document/analyzer_document.h"
#include "document/level_rows.h"
#include "document/marker_commands.h"
#include "ports/clock.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"

namespace tavlin {

namespace {

constexpr int kPassPauseMs = 50;
constexpr int kPauseSliceMs = 10;

// Sweeps are timed by computed sleeps that assume a prompt wake-up: ask for
// real-time scheduling, and carry on at normal priority when the system
// refuses (no privilege).
void RaiseSweepThreadPriority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace

void AnalyzerDocument::OnSingle() {
    if (utilityOwns_) {
        return;
    }
    if (!StartSweepThread(true)) {
        lastPass_ = 1;  // a continuous sweep finishes this pass and stops
    }
}

void AnalyzerDocument::StopAfterThisPass() {
    if (sweepRunning_.load() != 0) {
        stopRequest_ = 1;
    }
}

void AnalyzerDocument::OnContinuous() {
    if (utilityOwns_) {
        return;
    }
    StartSweepThread(false);
}

// Two starters (the GUI and the automation thread) may press at once: the
// check-and-set of the running flag lets exactly one of them create the thread.
// A stop request that came too late for the previous thread is cleared here,
// so a CONTINUOUS never turns into a single pass, and a SINGLE never ends its
// trigger wait before it began.
bool AnalyzerDocument::StartSweepThread(bool single) {
    int idle = 0;
    if (!sweepRunning_.compare_exchange_strong(idle, 1)) {
        return false;
    }
    stopRequest_ = 0;
    lastPass_ = single ? 1 : 0;
    std::lock_guard lock(threadMutex_);
    if (sweepThread_.joinable()) {
        sweepThread_.join();  // the previous thread has already left its loop
    }
    sweepThread_ = std::thread([this] { SweepThreadMain(); });
    return true;
}

void AnalyzerDocument::SweepThreadMain() {
    RaiseSweepThreadPriority();
    std::function<void()> pass;
    std::function<void()> afterPass;
    {
        std::lock_guard lock(hookMutex_);
        pass = sweepPass_;
        afterPass = afterPass_;
    }
    bool realtime = false;
    do {
        passesStarted_.fetch_add(1);
        RunPass(pass);
        if (afterPass) {
            afterPass();
        }
        realtime = ReadSettings([](const InstrumentState& s) { return s.realtimeMode != 0; });
        if (!realtime) {
            UpdateReferenceState();
        }
        if (ReadSettings([](const InstrumentState& s) { return s.signalTrack != 0; })) {
            SignalTrack();
        }
        passesCompleted_.fetch_add(1);
        NotifySweepProgress();
        views_.InvalidateTrace();
        if (link_.commError) {
            AskAboutCommunicationError();
        }
        if (!realtime) {
            PauseBetweenPasses();
        }
    } while (!StopRequested());
    if (realtime) {
        UpdateReferenceState();
    }
    stopRequest_ = 0;
    lastPass_ = 0;
    sweepRunning_ = 0;
    NotifySweepProgress();
    views_.UpdateAllViews();
}

// Between passes the window paints. A stop asked for before or during the
// pause (SINGLE's own end, a pause for a setting, PRESET) ends it at once:
// a single sweep is over when its data is in.
void AnalyzerDocument::PauseBetweenPasses() {
    for (int waited = 0; waited < kPassPauseMs && !StopRequested(); waited += kPauseSliceMs) {
        clock_.SleepMs(kPauseSliceMs);
    }
}

// The lock is taken around the notification only, so a waiter that has just
// read the counters cannot miss it.
void AnalyzerDocument::NotifySweepProgress() {
    { const std::lock_guard lock(progressMutex_); }
    progressChanged_.notify_all();
}

void AnalyzerDocument::WaitForSweepProgress(std::uint64_t completedSeen,
                                            std::chrono::milliseconds timeout) {
    std::unique_lock lock(progressMutex_);
    progressChanged_.wait_for(lock, timeout, [this, completedSeen] {
        return passesCompleted_.load() > completedSeen || sweepRunning_.load() == 0;
    });
}

// The time the pass spent waiting on a message box is no part of the sweep.
void AnalyzerDocument::RunPass(const std::function<void()>& pass) {
    sweepPrompter_.TakeShownMs();
    const std::uint32_t t0 = clock_.TickMs();
    if (pass) {
        pass();
    }
    const std::uint32_t t1 = clock_.TickMs();
    // Unsigned: a wrap of the tick gives the right difference.
    const std::uint32_t swept = (t1 - t0) - std::min(t1 - t0, sweepPrompter_.TakeShownMs());
    UpdateSweepTime(swept * 0.001);
}

// In swept mode the sweep time is the measured duration of a pass, kept while
// passes stay within 80 .. 120 % of it; zero span keeps the entered time.
void AnalyzerDocument::UpdateSweepTime(double seconds) {
    EditSettingsQuietly([seconds](InstrumentState& s) {
        const bool drifted = s.sweepTimeSec * 1.2 < seconds || s.sweepTimeSec * 0.8 > seconds;
        if (drifted || s.settingsChanged) {
            if (!IsZeroSpan(s.stopFreqHz - s.startFreqHz)) {
                s.sweepTimeSec = seconds;
            }
            s.settingsChanged = false;
        }
    });
}

void AnalyzerDocument::UpdateReferenceState() {
    const bool old = ReadSettings([](const InstrumentState& s) { return s.extRefLocked; });
    const bool locked = link_.CheckReference(old);
    if (locked == old) {
        return;
    }
    const double timebase = locked ? 1.0 : calTable_.TimebaseFromTable();
    EditSettingsQuietly([locked, timebase](InstrumentState& s) {
        s.extRefLocked = locked;
        s.timebaseCorrection = timebase;
    });
}

// A failed command write is asked about after the pass; No keeps the flag,
// so the question comes again after every pass until it is answered Yes.
void AnalyzerDocument::AskAboutCommunicationError() {
    const bool reboot =
        prompter_.AskYesNo("USB ERROR 6- RECOMMEND USB REBOOT\r\nDO YOU WISH TO REBOOT THE TAVLIN?",
                           "ERROR 6 - COMMUNICATIONS ERROR");
    if (!reboot) {
        return;
    }
    stopRequest_ = 1;
    link_.ResetLink(true);
    engine_.ForgetLoPlan();
    EditSettingsQuietly([](InstrumentState& s) { s.extRefLocked = false; });
    if (!link_.InstrumentLost()) {
        ReloadIncompleteCalibration();
        ApplyLevelPlan();
    }
    link_.commError = false;
}

void AnalyzerDocument::AfterPass() {
    PlaceOccupiedBandwidthMarkers();
    MarkerCommands(*this).RefreshMarkerLevel();
}

// Re-centres the span on the strongest signal: a strong one may move the
// centre by up to 120 columns a pass, a weak one by 20. The span is kept: at
// a band edge the centre stops where the span still fits, instead of the span
// shrinking pass after pass. Zero span has nothing to track.
void AnalyzerDocument::SignalTrack() {
    const FrequencyPair f = Frequencies();
    const double span = f.SpanHz();
    if (IsZeroSpan(span)) {
        return;
    }
    int column = 0;
    double bestRow = 0.0;
    {
        std::lock_guard lock(traceMutex_);
        bestRow = screen_.trace.traceA[0];
        for (int i = 1; i < kTracePoints; ++i) {
            if (screen_.trace.traceA[i] <= bestRow) {
                bestRow = screen_.trace.traceA[i];
                column = i;
            }
        }
    }
    column = bestRow <= 250.0 ? std::clamp(column, 200, 440) : std::clamp(column, 300, 340);
    const double hint = PeakFrequencyHint();
    const double position = hint > 0.0 ? hint : f.startHz + span * column / 640.0;
    const double level = MarkerCommands(*this).LevelOfColumn(column);
    {
        std::lock_guard lock(traceMutex_);
        screen_.markers.marker1Pos = position;
        screen_.markers.marker1Level = level;
        screen_.markers.marker1Flag = FlagOfRow(screen_.trace.traceA[column]);
        screen_.markers.marker1On = 1;
    }
    const double center =
        std::clamp(position, span / 2.0, std::max(span / 2.0, kMaxFreqHz - span / 2.0));
    SetCenterSpan(center, span);
}

void AnalyzerDocument::OnPreset() {
    if (sweepRunning_.load() != 0) {
        stopRequest_ = 1;
    }
    WaitForSweepEnd();
    // A port cycle takes seconds (the unit needs 2.5 s to come back), longer
    // than a remote client waits for a preset: it is kept for a link in
    // trouble or a unit that is gone.
    if (!link_.Resynchronise()) {
        link_.ResetLink(true);
    }
    engine_.ForgetLoPlan();
    if (!link_.InstrumentLost()) {
        Preset();
    }
}

}  // namespace tavlin
