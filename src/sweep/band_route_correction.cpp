#include "sweep/band_route_correction.h"

#include <algorithm>
#include <cmath>

namespace tavlin {

namespace {

constexpr double kBandSplitHz = 150e6;
constexpr double kHighBandStepHz = 10e6;
// One high-band table step below the split the table's first entry holds.
constexpr double kLowestHighBandStep = -1.0;

}  // namespace

BandRouteCorrection::BandRouteCorrection(const CalTable& table, const LevelSettings& settings)
    : table_(table),
      settings_(settings),
      highAtSplit_(AmplitudeCorrection(table, settings, kBandSplitHz)),
      highPerStep_(AmplitudeCorrection(table, settings, kBandSplitHz + kHighBandStepHz) -
                   highAtSplit_),
      lowAtSplit_(AmplitudeCorrection(table, settings, std::nextafter(kBandSplitHz, 0.0))) {}

double BandRouteCorrection::At(double freqHz, bool highRoute) const {
    const bool highBand = freqHz >= kBandSplitHz;
    if (highBand == highRoute) {
        return AmplitudeCorrection(table_, settings_, freqHz);
    }
    if (!highRoute) {
        return lowAtSplit_;
    }
    const double steps = std::max((freqHz - kBandSplitHz) / kHighBandStepHz, kLowestHighBandStep);
    return highAtSplit_ + highPerStep_ * steps;
}

}  // namespace tavlin
