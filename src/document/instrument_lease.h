#pragma once

#include "sweep/sweep_context.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

class AnalyzerDocument;
class CalTable;
class DeviceLink;

// The instrument while a pause holds the sweep: the link, the calibration
// table and the sweep engine, for whoever holds the pause alone. Only a
// pause hands one out, and it ends with the pause, so nothing drives the
// unit while the sweep thread does.
class InstrumentLease {
  public:
    InstrumentLease(const InstrumentLease&) = delete;
    InstrumentLease& operator=(const InstrumentLease&) = delete;

    AnalyzerDocument& Document() { return doc_; }
    DeviceLink& Link();
    CalTable& Table();
    // The engine itself, for a test or a bench that drives a sweep kind
    // directly; the next sweep after the pause plans afresh.
    SweepEngine& Engine();

    // A sweep context on the leased instrument for a sweep the holder tunes
    // itself: the document's ports and stop request, no video trigger and
    // no running average. The receiver constants are the engine's.
    SweepContext BindContext(const SweepSettings& settings, SweepTrace& trace,
                             SweepOutcome& outcome);
    // The window of the FFT sweeps that follow (0 = flat-top, 1 = four-term
    // Nuttall), until another is selected or a preset.
    void SelectWindow(int windowType);
    // A utility tunes the unit to the context's one frequency: the sample
    // clock for it, then the sweep's LO plan or the measuring receiver's
    // single-LO plan; each returns where the receiver was left.
    SweepPlan PrepareSweep(SweepContext& context);
    LoTuning TuneLocalOscillators(SweepContext& context);
    LoTuning TuneReceiverOscillators(SweepContext& context);
    // LO1 was moved by the holder: the next sweep plans afresh.
    void ForgetLoPlan();
    // Ask the sweep the holder runs on its own thread to stop, or clear it.
    void RequestStop(bool stop);
    // The first IF and its path again, after a utility that tuned the
    // second (the next sweep would otherwise start on it).
    void ReturnToFirstIf();

  private:
    friend class SweepPause;
    explicit InstrumentLease(AnalyzerDocument& document) : doc_(document) {}

    AnalyzerDocument& doc_;
};

}  // namespace tavlin
