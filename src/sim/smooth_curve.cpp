#include "sim/smooth_curve.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace tavlin::sim {

SmoothCurve::SmoothCurve(std::vector<Node> nodes) : nodes_(std::move(nodes)) {
    const std::size_t n = nodes_.size();
    slopes_.assign(n, 0.0);
    if (n < 2) {
        return;
    }
    std::vector<double> width(n - 1);
    std::vector<double> secant(n - 1);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        width[k] = nodes_[k + 1].x - nodes_[k].x;
        secant[k] = (nodes_[k + 1].y - nodes_[k].y) / width[k];
    }
    slopes_.front() = secant.front();
    slopes_.back() = secant.back();
    // Inside, a weighted harmonic mean of the two secants; flat at a turning point.
    for (std::size_t k = 1; k + 1 < n; ++k) {
        const double before = secant[k - 1];
        const double after = secant[k];
        if (before * after <= 0.0) {
            continue;
        }
        const double w1 = 2.0 * width[k] + width[k - 1];
        const double w2 = width[k] + 2.0 * width[k - 1];
        slopes_[k] = (w1 + w2) / (w1 / before + w2 / after);
    }
}

double SmoothCurve::operator()(double x) const {
    if (nodes_.empty()) {
        return 0.0;
    }
    if (!(x > nodes_.front().x)) {
        return nodes_.front().y;
    }
    if (x >= nodes_.back().x) {
        return nodes_.back().y;
    }
    const auto after = std::upper_bound(nodes_.begin(), nodes_.end(), x,
                                        [](double value, const Node& n) { return value < n.x; });
    const std::size_t k = static_cast<std::size_t>(after - nodes_.begin()) - 1;
    const double h = nodes_[k + 1].x - nodes_[k].x;
    const double t = (x - nodes_[k].x) / h;
    const double t2 = t * t;
    const double t3 = t2 * t;
    return (2.0 * t3 - 3.0 * t2 + 1.0) * nodes_[k].y + (t3 - 2.0 * t2 + t) * h * slopes_[k] +
           (-2.0 * t3 + 3.0 * t2) * nodes_[k + 1].y + (t3 - t2) * h * slopes_[k + 1];
}

}  // namespace tavlin::sim
