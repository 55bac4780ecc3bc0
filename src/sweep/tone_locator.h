#pragma once

#include <cstddef>
#include <vector>

namespace tavlin {

// Where a tone lies between the bins of a short windowed transform, from the
// powers of the bin that reads it and of its stronger neighbour: a tone d
// bins from a bin reads g(d) there and g(1 - d) in the neighbour, g being the
// window's power response, so their ratio gives d. Used where the bins are
// wide against the IF filter's skirt and a tone must be corrected at its own
// frequency rather than at a bin centre up to half a bin away.
class ToneLocator {
  public:
    // The window of the given type over n points.
    ToneLocator(int windowType, std::size_t n);

    // The tone's distance from the bin towards the neighbour, in bins, from
    // kAwayBins (beyond the bin, on the side without a neighbour: at the edge
    // of a spectrum the neighbour read may be the weaker one) to kTowardsBins
    // (0 when the bin holds no power).
    double OffsetBins(double power, double neighbourPower) const;

    static constexpr double kAwayBins = -0.5;
    static constexpr double kTowardsBins = 1.5;

  private:
    std::vector<double> ratio_;  // neighbour over bin, offsets kAwayBins + k / kStepsPerBin
};

}  // namespace tavlin
