#pragma once

namespace tavlin {

// Sweep times the zero-span entry accepts. A time reached another way (a span
// command of 0, START equal to STOP) is brought into this range, so that the
// decimation and capture length chosen from it always fit the instrument.
constexpr double kMinZeroSpanSweepSec = 0.0005;
constexpr double kMaxZeroSpanSweepSec = 2.0;

// Peak deviation used when the stored one cannot be divided by.
constexpr double kDefaultMaxFmOffsetHz = 100000.0;

constexpr int kMinZeroSpanDecimation = 1;
constexpr int kMaxZeroSpanDecimation = 16;

// Samples skipped at the start of an FM capture while the smoothing filter
// fills.
constexpr int kFmSettlingSamples = 256;

// Demodulated samples an FM capture may need before the sweep time is
// shortened to fit.
constexpr double kMaxFmSamples = 65000.0;

// The sweep time in force in zero span; a time that is not a number is the
// longest one.
double ClampZeroSpanSweepTime(double sweepTimeSec);

// The peak deviation that full scale stands for: a value of 0, below 0 or not
// finite acts as 100 kHz.
double UsableMaxFmOffset(double maxFmOffsetHz);

// Decimation, capture length and sweep time of one zero-span capture.
struct ZeroSpanCapturePlan {
    int decimation = 1;
    double samples = 0.0;      // FM: demodulated samples across the sweep time
    int captureLength = 4096;  // samples to capture, a multiple of 4096
    double sweepTimeSec = 0.0;
    bool sweepTimeShortened = false;  // FM: the buffer could not hold the time
};

// FM: the decimation follows the peak deviation (at most the samples per
// pixel), the capture length the number of samples the sweep time needs.
ZeroSpanCapturePlan PlanFmCapture(double sweepTimeSec, double maxFmOffsetHz, double sampleRateHz);

// AM: full rate up to 0.1348 s (65536 samples at the nominal rate), then the
// decimation that brings the sweep time back within the capture.
ZeroSpanCapturePlan PlanAmCapture(double sweepTimeSec);

// Smoothing cut-off of the FM series in cycles per sample (r = 80 / n, at
// least 0.03); the series is left unfiltered from 0.25 up.
double FmSmoothingCutoff(double samples);
bool FmNeedsSmoothing(double cutoff);

// The raw I^2 + Q^2 (full scale 2^30) at which AM zero span draws a signal at
// the tuned frequency at levelDbm: what the trigger-level entry stores as the
// video-trigger threshold. correctionDb is the front end's AmplitudeCorrection
// at the tuned frequency, ifPathFactor the TunedIfPathPowerFactor of the IF
// and decimation in use (1 when it is not a positive number).
double VideoTriggerThreshold(double levelDbm, double correctionDb, double attenDb,
                             double ifPathFactor);

// Where pixel i of 0 .. 640 reads the series: index j and fraction e, so that
// the row is (1 - e) y[j] + e y[j + 1]. j + 1 never leaves the capture, even
// where the sample rate of the clock mode in force gives a few samples more
// than the capture holds.
struct SeriesPosition {
    int index = 0;
    double fraction = 0.0;
};
SeriesPosition PixelSamplePosition(double sampleRateHz, double sweepTimeSec, int decimation,
                                   int pixel, int offset, int captureLength);

}  // namespace tavlin
