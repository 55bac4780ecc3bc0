#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "sweep/sweep_context.h"
#include "sweep/sweep_plan.h"

namespace tavlin {

class FftSweep;
class NarrowFftSweep;
class StepSweep;
class WideSweep;
class ZeroSpanSweep;

// Where the last LO plan left the receiver, for a utility that demodulates
// what it tuned: the sampler's mode, LO1's residual error and side, and
// whether LO2 took the second IF.
struct LoTuning {
    int clockMode = 0;
    double lo1ErrorHz = 0.0;
    bool lo1HighSide = true;
    bool lo2SecondIf = false;
};

// The sweep object: it prepares each sweep's plan and runs the sweep kind
// for the span. Between sweeps it keeps the sample-clock mode in force, the
// window selected, the LO plan the unit holds (so an unchanged sweep does not
// reprogram LO1) and the capture buffers. Reached only from the thread that
// is sweeping, except the residual LO errors and the peak hint, which other
// threads read once a sweep has published them.
class SweepEngine {
  public:
    static constexpr int kCaptureCapacity = 65536;

    // The last capture, widened from 16 bits.
    struct CaptureBuffers {
        std::vector<std::int32_t> i;
        std::vector<std::int32_t> q;
    };

    SweepEngine();
    ~SweepEngine();
    SweepEngine(const SweepEngine&) = delete;
    SweepEngine& operator=(const SweepEngine&) = delete;

    // Preset: window type and peak hint back to their starting values; the
    // LO plan is forgotten.
    void ResetWorkingValues();

    // One complete sweep of the context's settings, in two steps. First the
    // sample clock for the sweep: the plan returned (and the context's plan)
    // carry the chosen mode and its receiver constants, for the caller to
    // publish at once. Then the sweep kind for the span: the rows are in the
    // context's trace and the rest in its outcome.
    SweepPlan PrepareSweep(SweepContext& context);
    void SweepBySpan(SweepContext& context);
    // The narrow FFT kind on its own, with the sample clock and receiver
    // constants as the last sweep left them (the phase-noise plot). It takes
    // the context's start and stop and plans its LOs afresh, as a sweep by
    // span would.
    void PerformNarrowFftSweep(SweepContext& context);

    // The receiver constants are kept here alone: a context gets them from
    // the engine, never from an earlier copy.
    const ReceiverConstants& Receiver() const { return receiver_; }
    // A new timebase (a calibration table loaded) for the mode in force,
    // until the next sweep chooses its clock.
    void UseTimebase(double correction);
    // The plan in force between sweeps: the sample-clock mode and its
    // receiver constants, the window, and the LOs as the last plan left
    // them; the band is not chosen yet.
    SweepPlan PlanInForce() const;

    // The window of the FFT sweeps that follow (0 = flat-top, 1 = four-term
    // Nuttall), until another is selected or a preset.
    void SelectWindow(int windowType) { windowType_ = windowType; }

    // --- Frequency plan ---------------------------------------------------------
    // Chooses the sample-clock mode for a frequency; the mode and its
    // receiver constants go into the context's plan. True when the mode
    // changed.
    bool ChooseSampleClock(double freqHz, SweepContext& context);
    // The clock mode for a tuned frequency: mode 2 or 1 within 120 kHz of a
    // harmonic of the 23.333 MHz sampler clock (2 at multiples of 27), else 0;
    // always 0 with the SYNC / TRIG connector in use (mode 1).
    static int SampleClockModeFor(double freqHz, int syncTrigMode);
    // LO1 and LO2 for the plan's band; programs LO1. The context's plan gets
    // the LO settings and their residual errors.
    void PlanLocalOscillators(SweepContext& context);
    // Sets the plan's decimation and FFT size for its span, returns the RBW.
    static double ChooseFftResolution(SweepContext& context);
    // The measuring receiver's single-LO plan; the context's plan gets LO1
    // and the IF it chose.
    void PlanReceiverOscillators(SweepContext& context);
    LoTuning Tuning() const;
    // Sends a planned LO with the band's command set.
    static int ProgramLo(DeviceLink& link, const LoSetting& lo, bool highBand);

    // The LO plan is forgotten after a link reset or a pause: another user of
    // the instrument may have reprogrammed LO1 meanwhile.
    void ForgetLoPlan();

    // Published for the span commands (predicted RBW) and PEAK.
    double Lo1ErrorHz() const { return lo1ErrorHz_.load(); }
    double Lo2ErrorHz() const { return lo2ErrorHz_.load(); }
    double PeakFreqHint() const { return peakFreqHint_.load(); }
    // A peak frequency for PEAK to take until a sweep narrower than the step
    // sweeps' limit runs (a recalled state file carries one).
    void HintPeak(double freqHz) { peakFreqHint_ = freqHz; }

    // The sweep kinds' working room: the capture buffers, and the count of
    // step blocks that never arrived over the life of the program.
    CaptureBuffers& Capture() { return capture_; }
    long& MissingDataCount() { return missingDataCount_; }
    long MissingDataCount() const { return missingDataCount_; }

  private:
    // The LOs as last programmed, and the band, IF and reference level they
    // were planned for: a new clock mode, reference correction or reference
    // level asks for other LO settings.
    struct HeldLoPlan {
        LoSetting lo1;
        LoSetting lo2;
        bool lo2SecondIf = false;
        double startHz = -1.0;
        double stopHz = -1.0;
        double ifHz = -1.0;
        double refLevelDbm = 0.0;
    };

    // True when LO1 still holds the plan for the present sweep; a stop
    // request or image rejection forgets the plan first.
    bool DeviceHoldsPlan(SweepContext& context);
    void BeginSweep(SweepContext& context) const;
    // The held LO settings and their errors into the context's plan.
    void ShowLoPlan(SweepContext& context) const;

    ReceiverConstants receiver_;
    int clockMode_ = 0;
    int windowType_ = 0;
    HeldLoPlan loPlan_;
    // Written by the sweep thread, read by the panel and automation threads.
    std::atomic<double> peakFreqHint_{-1.0};
    std::atomic<double> lo1ErrorHz_{0.0};
    std::atomic<double> lo2ErrorHz_{0.0};
    CaptureBuffers capture_;
    long missingDataCount_ = 0;

    std::unique_ptr<FftSweep> fftSweep_;
    std::unique_ptr<NarrowFftSweep> narrowFftSweep_;
    std::unique_ptr<StepSweep> stepSweep_;
    std::unique_ptr<WideSweep> wideSweep_;
    std::unique_ptr<ZeroSpanSweep> zeroSpanSweep_;
};

}  // namespace tavlin
