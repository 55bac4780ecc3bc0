#pragma once

#include <array>

#include "view/plot_geometry.h"

namespace tavlin {

// The spinning pair of wedges in the top right corner that shows a sweep is
// running. The angle turns by a tenth of a radian a tick (ten ticks a second)
// and starts again at 0 after a full turn.
class ActivityIndicator {
  public:
    static constexpr float kStepRad = 0.1f;
    static constexpr float kLastAngleRad = 6.25f;  // a larger angle starts again at 0
    static constexpr double kWedgeRad = 0.8;
    static constexpr double kOppositeRad = 3.14;  // the second wedge, half a turn on
    static constexpr int kCentreX = plot::kIndicatorLeft + plot::kIndicatorSize / 2;
    static constexpr int kCentreY = plot::kIndicatorTop + plot::kIndicatorSize / 2;
    static constexpr int kRadius = plot::kIndicatorSize / 2;

    // A wedge of the circle from one angle to a larger one, counter-clockwise
    // (angles grow upwards from the right, as on paper; screen y grows down).
    struct Wedge {
        double fromRad = 0.0;
        double toRad = 0.0;
        PlotPoint start;  // on the circle, truncated to whole pixels
        PlotPoint end;
    };

    void Advance();
    float Angle() const { return angle_; }
    std::array<Wedge, 2> Wedges() const;

    static Wedge WedgeBetween(double fromRad, double toRad);

  private:
    float angle_ = 0.0f;
};

}  // namespace tavlin
