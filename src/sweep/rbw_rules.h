#pragma once

namespace tavlin {

// Resolution bandwidth rules shared by the span commands (which predict the
// RBW for the annotation) and the FFT sweeps (which choose D and N).

constexpr double kDefaultSpanRbwRatio = 80.0;
constexpr double kPlainSampleRateHz = 486111.0;  // the rate the plan is laid out for

struct FftResolution {
    int decimation = 1;
    int fftSize = 512;
    double rbwHz = 1638400.0 / 512.0;
};

// A ratio that is 0, negative or not a number would make every RBW nonsense:
// such a ratio acts as the preset 80.
double UsableSpanRbwRatio(double ratio);

// Among 1638400 / (D x N) for D = 1..16 (while 2 x D x w fits the sample rate)
// and N = 16 .. 65536, the value nearest span / ratio; ties go to the later
// candidate. w is the span widened by the larger residual LO error.
FftResolution ChooseFftResolution(double spanHz, double ratio, double lo1ErrorHz,
                                  double lo2ErrorHz);

// RBW of the 200 kHz step sweep from span / ratio, without the rule for starts
// below 16 MHz.
double StepSweepRbw(double spanHz, double ratio);

double PredictRbw(double spanHz, double ratio, double lo1ErrorHz, double lo2ErrorHz);

// RBW of zero span for a sweep time in seconds.
double ZeroSpanRbw(double sweepTimeSec);

}  // namespace tavlin
