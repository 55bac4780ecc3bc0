#include "view/activity_indicator.h"

#include <cmath>

namespace tavlin {

namespace {

PlotPoint OnCircle(double angleRad) {
    return {static_cast<int>(ActivityIndicator::kCentreX +
                             ActivityIndicator::kRadius * std::cos(angleRad)),
            static_cast<int>(ActivityIndicator::kCentreY -
                             ActivityIndicator::kRadius * std::sin(angleRad))};
}

}  // namespace

void ActivityIndicator::Advance() {
    angle_ += kStepRad;
    if (angle_ > kLastAngleRad) {
        angle_ = 0.0f;
    }
}

ActivityIndicator::Wedge ActivityIndicator::WedgeBetween(double fromRad, double toRad) {
    return Wedge{fromRad, toRad, OnCircle(fromRad), OnCircle(toRad)};
}

std::array<ActivityIndicator::Wedge, 2> ActivityIndicator::Wedges() const {
    const double a = angle_;
    return {WedgeBetween(a, a + kWedgeRad),
            WedgeBetween(a + kOppositeRad, a + kOppositeRad + kWedgeRad)};
}

}  // namespace tavlin
