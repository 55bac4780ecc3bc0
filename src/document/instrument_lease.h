#pragma once

#include "sweep/sweep_context.h"
#include "sweep/sweep_engine.h"

namespace tavlin {

class AnalyzerDocument;
class CalTable;
class DeviceLink;

// The instrument while a pause holds the sweep: the link, the calibration
// table and the sweep engine's operations a utility tunes the unit with, for
// whoever holds the pause alone. Only a pause hands one out, and it ends with
// the pause, so nothing drives the unit while the sweep thread does.
class InstrumentLease {
  public:
    InstrumentLease(const InstrumentLease&) = delete;
    InstrumentLease& operator=(const InstrumentLease&) = delete;

    AnalyzerDocument& Document() { return doc_; }
    DeviceLink& Link();
    CalTable& Table();
    // The plan in force: the sample-clock mode and its receiver constants,
    // the window selected and the LOs as the last plan left them.
    SweepPlan Plan() const;
    // Step blocks that never arrived, over the life of the program.
    long MissingDataCount() const;
    // A peak frequency for PEAK to take until a narrower sweep runs.
    void HintPeak(double freqHz);

    // A sweep context on the leased instrument for a sweep the holder tunes
    // itself: the document's ports and stop request, no video trigger and
    // no running average. Its plan is the one in force.
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
