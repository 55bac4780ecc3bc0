#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "sweep/sweep_context.h"

namespace tavlin {

class FftSweep;
class NarrowFftSweep;
class StepSweep;
class WideSweep;
class ZeroSpanSweep;

// One synthesizer setting of the LO plan: VCO = (intPart + num / den) x 10 MHz,
// divided by 2^div at the output.
struct LoSetting {
    int intPart = 0;
    int num = 0;
    int den = 2;
    int div = 0;
    bool highSide = true;  // the LO lies above the signal
    double wantedHz = 0.0;
    double actualHz = 0.0;
};

// The receiver in the sample-clock mode in force: its two IFs and its
// complex sample rate, each corrected by the timebase.
struct ReceiverConstants {
    double sampleRateHz = 486111.1111;
    double ifFreq1Hz = 10694444.4444;
    double ifFreq2Hz = 2916666.6667;
};

// What preparing a sweep chose: the band, the sample-clock mode and the
// receiver's constants in it.
struct SweepPlan {
    double startHz = 0.0;
    double stopHz = 0.0;
    int clockMode = 0;
    ReceiverConstants receiver;
};

// Where the last LO plan left the receiver, for a utility that demodulates
// what it tuned: the sampler's mode, LO1's residual error and side, and
// whether LO2 took the second IF.
struct LoTuning {
    int clockMode = 0;
    double lo1ErrorHz = 0.0;
    bool lo1HighSide = true;
    bool lo2SecondIf = false;
};

// The sweep object: frequency plan, sample-clock mode, window and filter
// working values, capture buffers and the sweep kinds. Reached only from the
// thread that is sweeping, except the residual LO errors, which the span
// commands read to predict the RBW.
class SweepEngine {
  public:
    static constexpr int kCaptureCapacity = 65536;

    SweepEngine();
    ~SweepEngine();
    SweepEngine(const SweepEngine&) = delete;
    SweepEngine& operator=(const SweepEngine&) = delete;

    // Preset: window type, peak hint and IF back to their starting values;
    // the LO plan is forgotten.
    void ResetWorkingValues();

    // One complete sweep of the context's settings, in two steps. First the
    // sample clock for the sweep: the plan returned (and the context's
    // receiver constants) are the chosen mode's, for the caller to publish at
    // once. Then the sweep kind for the span: the rows are in the context's
    // trace and the rest in its outcome.
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
    void ApplyReceiver(SweepContext& context) const;

    // --- Frequency plan ---------------------------------------------------------
    // Chooses the sample-clock mode for a frequency; the mode's receiver
    // constants are the engine's and the context's. True when the mode
    // changed.
    bool ChooseSampleClock(double freqHz, SweepContext& context);
    // The clock mode for a tuned frequency: mode 2 or 1 within 120 kHz of a
    // harmonic of the 23.333 MHz sampler clock (2 at multiples of 27), else 0;
    // always 0 with the SYNC / TRIG connector in use (mode 1).
    static int SampleClockModeFor(double freqHz, int syncTrigMode);
    // LO1 and LO2 for sweepStartHz .. sweepStopHz; programs LO1.
    void PlanLocalOscillators(SweepContext& context);
    // Sets decimation and fftSize, returns the RBW.
    double ChooseFftResolution(double spanHz, const SweepSettings& settings);
    // The measuring receiver's single-LO plan.
    void PlanReceiverOscillators(SweepContext& context);
    LoTuning Tuning() const { return {clockMode, lo1ErrorHz.load(), lo1.highSide, lo2SecondIf}; }
    // Sends a planned LO with the band's command set.
    int ProgramLo(DeviceLink& link, const LoSetting& lo, bool highBand);

    // The LO plan is forgotten after a link reset or a pause: another user of
    // the instrument may have reprogrammed LO1 meanwhile.
    void ForgetLoPlan();

    // --- Plan and working values --------------------------------------------------
    double sweepStartHz = 0.0;
    double sweepStopHz = 0.0;
    int clockMode = 0;
    int decimation = 1;
    int fftSize = 512;
    int windowType = 0;  // 0 = flat-top, 1 = four-term Nuttall
    LoSetting lo1;
    LoSetting lo2;
    bool lo2SecondIf = false;
    double plannedStartHz = -1.0;
    double plannedStopHz = -1.0;
    // The IF and reference level the held plan was made for: a new clock mode,
    // reference correction or reference level asks for other LO settings.
    double plannedIfHz = -1.0;
    double plannedRefLevelDbm = 0.0;
    double ifInUse = 10694444.444;
    // Written by the sweep thread, read by PEAK on the panel and automation threads.
    std::atomic<double> peakFreqHint{-1.0};
    std::atomic<double> lo1ErrorHz{0.0};
    std::atomic<double> lo2ErrorHz{0.0};

    // The last capture, widened from 16 bits.
    std::vector<std::int32_t> captureI;
    std::vector<std::int32_t> captureQ;

    // Step blocks that never arrived, over the life of the program.
    long missingDataCount = 0;

  private:
    // True when LO1 still holds the plan for the present sweep; a stop
    // request or image rejection forgets the plan first.
    bool DeviceHoldsPlan(SweepContext& context);
    void BeginSweep(const SweepContext& context);

    ReceiverConstants receiver_;
    std::unique_ptr<FftSweep> fftSweep_;
    std::unique_ptr<NarrowFftSweep> narrowFftSweep_;
    std::unique_ptr<StepSweep> stepSweep_;
    std::unique_ptr<WideSweep> wideSweep_;
    std::unique_ptr<ZeroSpanSweep> zeroSpanSweep_;
};

}  // namespace tavlin
