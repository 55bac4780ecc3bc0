#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sweep/step_list_reader.h"
#include "sweep/sweep_context.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class BandRouteCorrection;

// The instrument's detector sweep for the high band: readings every 3 MHz of
// LO over indices h0 .. h1 (1 MHz each).
struct DetectorPlan {
    int h0 = 0;
    int h1 = 0;
    int Values() const { return (h1 - h0) / 3; }
};

// The sweep kind for spans above 200 MHz: the 200 kHz step list below
// 150 MHz, the instrument's broadband detector above, and a step-list look at
// the strongest signal to draw its peak at the level the detector cannot give.
// Runs in low gain. Its buffers are kept between sweeps.
class WideSweep {
  public:
    static constexpr double kLowBandBelowHz = 149.9e6;
    static constexpr int kFirstLowBandIndex = 7;  // MHz of the first LO (steps of 5)
    static constexpr int kLastLowBandStep = 805;
    static constexpr int kSideStepPair = 107;  // the same frequency from below and above
    static constexpr int kHighBandIndexAfterLowBand = 138;
    static constexpr int kRefinementSteps = 61;

    WideSweep();
    ~WideSweep();
    void Run(SweepContext& context);

    // a: the low band's first LO in MHz (its step is 5a).
    static int LowBandFirstIndex(double startHz);
    // Never more readings than the instrument's 2048-value answer holds.
    static DetectorPlan PlanDetector(double startHz, double stopHz, bool lowBandSwept);

  private:
    struct Peak {
        double row = 10000.0;
        int pixel = -1;
        double freqHz = 0.0;
    };

    void SweepLowBand(SweepContext& context, const StepReadPorts& ports, int firstIndex);
    void DrawLowBand(SweepContext& context, const BandRouteCorrection& route, int firstIndex,
                     int steps);
    bool SweepHighBand(SweepContext& context, const DetectorPlan& plan);
    void DrawHighBand(const SweepContext& context, const DetectorPlan& plan, int firstPixel);
    int Reading(int index) const;
    void RefinePeak(SweepContext& context, const StepReadPorts& ports,
                    const BandRouteCorrection& route, const DetectorPlan& plan);
    void DrawPeak(const SweepContext& context, double peakHz, double peakRow);
    void FinishRows(SweepContext& context) const;

    StepListReader reader_;
    std::vector<double> stepPowers_;
    std::vector<int> stepValues_;
    std::array<std::uint16_t, 2048> readings_{};
    int readingCount_ = 0;
    std::array<double, kTracePoints> rows_{};
    std::array<double, kTracePoints> kept_{};
    // Per pixel: the detector value centred on it, and a reading below and above.
    std::array<int, kTracePoints> centred_{};
    std::array<int, kTracePoints> lower_{};
    std::array<int, kTracePoints> upper_{};
    Peak peak_;
};

}  // namespace tavlin
