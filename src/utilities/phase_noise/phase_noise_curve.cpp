#include "utilities/phase_noise/phase_noise_curve.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/window.h"

namespace tavlin {

namespace {

constexpr double kLastPoint = PhaseNoiseSweeps::kPoints - 1;
// 640 points across the first window, 18.5436 Hz.
constexpr double kPointsPerHzFirst = kLastPoint / PhaseNoiseSweeps::kFirstSpanHz;
constexpr double kNarrowSpanRatio = 16.0;
// Trace rows are taken at 20 dB per division, 50 rows a division.
constexpr double kDbPerRow = 20.0 / 50.0;
// The FFT sweeps report an RBW of 1638400 / (decimation x FFT size) Hz:
// 3.37 bins at the sampler's 486111.1 Hz.
constexpr double kBinsPerReportedRbw = 486111.1111 / 1638400.0;

// The bandwidth in which a bin collects noise, in bins: n sum(w^2) / sum(w)^2.
double NoiseBandwidthBins(int windowType) {
    constexpr std::size_t kN = 4096;
    std::vector<double> w(kN);
    MakeWindow(windowType, kN, w);
    double sum = 0.0;
    double squares = 0.0;
    for (const double v : w) {
        sum += v;
        squares += v * v;
    }
    return kN * squares / (sum * sum);
}

}  // namespace

double PhaseNoiseCurve::NoiseBandwidthPerRbw() {
    static const double ratio = NoiseBandwidthBins(kNuttallWindow) * kBinsPerReportedRbw;
    return ratio;
}

PhaseNoisePoint PhaseNoiseCurve::Locate(double offsetHz) {
    PhaseNoisePoint at;
    at.offsetHz = offsetHz;
    if (offsetHz <= PhaseNoiseSweeps::kWindowStepHz) {
        double v = offsetHz * kPointsPerHzFirst;
        int b = 0;
        while (v > kLastPoint) {
            v /= kNarrowSpanRatio;
            ++b;
        }
        at.trace = b;
        at.point = static_cast<int>(v);
        return at;
    }
    const int b =
        std::min(static_cast<int>(std::floor(offsetHz / PhaseNoiseSweeps::kWindowStepHz)) + 3,
                 PhaseNoiseSweeps::kTraces - 1);
    const double fromStart = offsetHz - (b - 3) * PhaseNoiseSweeps::kWindowStepHz;
    at.trace = b;
    at.point =
        std::clamp(static_cast<int>(fromStart * kLastPoint / PhaseNoiseSweeps::kWindowSpanHz), 0,
                   PhaseNoiseSweeps::kPoints - 1);
    return at;
}

namespace {

// The mean power of the points of one trace from `first` to `last`, as a
// row: each point is one reading of noise, which scatters by dBs, and a
// column at the far offsets spans many of them.
double MeanPowerRow(const std::array<double, PhaseNoiseSweeps::kPoints>& rows, int first,
                    int last) {
    double sum = 0.0;
    for (int k = first; k <= last; ++k) {
        sum += std::pow(10.0, -kDbPerRow * rows[k] / 10.0);
    }
    return -10.0 * std::log10(sum / (last - first + 1)) / kDbPerRow;
}

// The points of the column's own trace that lie within half a column of its
// offset on either side; at least the point at the offset.
int FirstPointOfColumn(int column, const PhaseNoisePoint& at) {
    const double edgeHz = std::pow(10.0, (column - 0.5) / PhaseNoiseCurve::kColumnsPerDecade);
    const PhaseNoisePoint edge = PhaseNoiseCurve::Locate(edgeHz);
    return edge.trace == at.trace ? std::min(edge.point + 1, at.point) : at.point;
}

int LastPointOfColumn(int column, const PhaseNoisePoint& at) {
    const double edgeHz = std::pow(10.0, (column + 0.5) / PhaseNoiseCurve::kColumnsPerDecade);
    const PhaseNoisePoint edge = PhaseNoiseCurve::Locate(edgeHz);
    return edge.trace == at.trace ? std::max(edge.point, at.point) : at.point;
}

}  // namespace

// A row lies 0.4 dB below the carrier per row. A bin collects noise in the
// window's noise bandwidth, not in the RBW the sweep reports (a tone's
// width): the density divides by that.
PhaseNoiseCurve::PhaseNoiseCurve(const PhaseNoiseSweeps& sweeps) {
    const double perRbw = NoiseBandwidthPerRbw();
    for (int j = 0; j < kColumns; ++j) {
        PhaseNoisePoint p = Locate(std::pow(10.0, static_cast<double>(j) / kColumnsPerDecade));
        const auto& rows = sweeps.traces[p.trace];
        const double row = MeanPowerRow(rows, FirstPointOfColumn(j, p), LastPointOfColumn(j, p));
        const double bandwidthDb =
            10.0 * std::log10(std::max(sweeps.rbwHz[p.trace] * perRbw, 1e-9));
        p.dbcPerHz = -kDbPerRow * row - bandwidthDb;
        const double floorDbcHz = -kDbPerRow * sweeps.floorRows[p.trace] - bandwidthDb;
        p.atFloor = p.dbcPerHz < floorDbcHz + kFloorMarginDb;
        points_[j] = p;
    }
}

}  // namespace tavlin
