#include "sweep/rbw_rules.h"

#include <algorithm>
#include <cmath>

namespace tavlin {

double UsableSpanRbwRatio(double ratio) {
    return std::isfinite(ratio) && ratio > 0.0 ? ratio : kDefaultSpanRbwRatio;
}

FftResolution ChooseFftResolution(double spanHz, double ratio, double lo1ErrorHz,
                                  double lo2ErrorHz) {
    const double width =
        std::max(2.0 * std::fabs(lo1ErrorHz) + spanHz, 2.0 * std::fabs(lo2ErrorHz) + spanHz);
    const double target = spanHz / UsableSpanRbwRatio(ratio);
    FftResolution best;
    double bestDistance = 1e9;
    for (int d = 1; d <= 16; ++d) {
        if (2.0 * d * width > kPlainSampleRateHz) {
            break;
        }
        for (int n = 16; n <= 65536; n *= 2) {
            const double rbw = 1638400.0 / n / d;
            const double distance = std::fabs(rbw - target);
            if (distance <= bestDistance) {
                bestDistance = distance;
                best = {d, n, rbw};
            }
        }
    }
    best.rbwHz = 1638400.0 / best.decimation / best.fftSize;
    return best;
}

double StepSweepRbw(double spanHz, double ratio) {
    const double x = spanHz / UsableSpanRbwRatio(ratio);
    if (x < 10000.0) {
        return 6500.0;
    }
    if (x < 20000.0) {
        return 13000.0;
    }
    if (x < 40000.0) {
        return 25000.0;
    }
    if (x < 80000.0) {
        return 50000.0;
    }
    if (x < 640000.0) {
        return 100000.0;
    }
    return 250000.0;
}

double PredictRbw(double spanHz, double ratio, double lo1ErrorHz, double lo2ErrorHz) {
    if (spanHz < 150.0) {
        if (spanHz < 20.0) {
            return 0.1;
        }
        if (spanHz < 40.0) {
            return 0.2;
        }
        return spanHz < 80.0 ? 0.4 : 0.8;
    }
    if (spanHz <= 200000.0) {
        return ChooseFftResolution(spanHz, ratio, lo1ErrorHz, lo2ErrorHz).rbwHz;
    }
    if (spanHz <= 200e6) {
        return StepSweepRbw(spanHz, ratio);
    }
    return 5e6;
}

double ZeroSpanRbw(double sweepTimeSec) {
    constexpr double kFullRateTimeSec = 0.1348;
    if (!(sweepTimeSec > kFullRateTimeSec)) {
        return 240000.0;
    }
    return 240000.0 / std::ceil(sweepTimeSec / kFullRateTimeSec);
}

}  // namespace tavlin
