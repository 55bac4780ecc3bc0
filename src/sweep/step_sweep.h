#pragma once

#include <climits>
#include <memory>
#include <vector>

#include "sweep/step_list_reader.h"
#include "sweep/sweep_context.h"

namespace tavlin {

class BandRouteCorrection;
class ToneLocator;

// The layout of one step sweep: which 200 kHz LO steps are read, how many
// points each step gives and the resolution that follows.
struct StepPlan {
    int s0 = 0;     // first step at or below start
    int s1 = 0;     // first step above stop
    int skip = 0;   // low-side entries the instrument cannot tune (below 16 MHz)
    int count = 0;  // buffer entries; entry b holds LO step s0 - 53 + b
    int pointsPerStep = 1;
    double rbwHz = 0.0;
    double binWidthHz = 0.0;
    double noiseBandwidthHz = 0.0;  // of the step's filter: the flat-top FFT or the step band
};

// The sweep kind for spans from 200 kHz to 200 MHz: the instrument's list of
// 200 kHz LO steps. Every frequency is seen twice, with the LO an IF below it
// (low side) and an IF above it (high side); image suppression keeps the
// smaller of the two, since an image lands on a frequency through one side
// only. The step buffer and the reader's plans are kept between sweeps.
class StepSweep {
  public:
    static constexpr double kStepHz = 200000.0;
    static constexpr int kSideSteps = 53;       // about one IF in steps
    static constexpr int kHighSideEntry = 106;  // entry of the first high-side step
    static constexpr int kSixteenMhzStep = 80;  // the first step the low side reaches
    static constexpr int kBandSplitStep = 750;  // 150 MHz
    static constexpr int kCrossingLimitStep = 851;
    static constexpr int kTopSecondViewStep = 134;  // one above the high side of 16 MHz

    StepSweep();
    ~StepSweep();
    void Run(SweepContext& context);

    // meanRows: the rows will be the mean power of each pixel.
    static StepPlan Plan(double startHz, double stopHz, double spanRbwRatio, double sampleRateHz,
                         bool meanRows = false);

  private:
    struct Sample {
        double power;
        bool highRoute;
        bool secondView = false;  // below 16 MHz, instead of the low side
    };
    struct PixelCorrection {
        double low;   // power factor of the low-band route at the pixel
        double high;  // of the high-band route
    };

    void ReadSteps(SweepContext& context, const StepReadPorts& ports);
    void ReadInto(SweepContext& context, const StepReadPorts& ports, int first, int last,
                  int entry);
    void ReadSecondView(const StepReadPorts& ports);
    double SecondView(double freqHz) const;
    void DrawTrace(SweepContext& context);
    void DrawMeanTrace(SweepContext& context);
    double MeanSidePower(double fromHz, double pixelHz, int subPoints, int side,
                         const PixelCorrection& correction) const;
    Sample Lookup(double freqHz, int side) const;
    double CorrectedBin(int b, double basebandHz) const;
    Sample SideLevel(double freqHz, int side, const PixelCorrection& correction) const;
    double PixelLevel(double freqHz, const PixelCorrection& correction) const;
    static bool OffItsTable(double freqHz, bool highRoute);
    PixelCorrection CorrectionAt(const BandRouteCorrection& route, double freqHz) const;

    StepListReader reader_;
    std::unique_ptr<ToneLocator> locator_;  // for the step spectra's flat-top bins
    int locatorPoints_ = 0;
    std::vector<double> buffer_;
    std::vector<double> meanLow_;  // per pixel, the mean power through each side
    std::vector<double> meanHigh_;
    std::vector<double> secondView_;  // below 16 MHz: 2P bins per step, highest step first
    int secondViewHigh_ = 0;
    int secondViewLow_ = 0;
    bool secondViewRead_ = false;
    StepPlan plan_;
    double stepHz_ = kStepHz;
    double ifInUseHz_ = 0.0;
    double sampleRateHz_ = 0.0;
    bool imageReject_ = true;
    int highRouteFromStep_ = INT_MAX;  // steps from here on went through the high band
};

}  // namespace tavlin
