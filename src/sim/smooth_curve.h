#pragma once

#include <vector>

namespace tavlin::sim {

// A smooth curve through measured points: a cubic Hermite spline whose slopes
// follow Fritsch and Carlson, so it passes through every node, its slope is
// continuous, and it never swings beyond its neighbouring nodes (a filter
// skirt given by a few points stays a skirt). Beyond the first and the last
// node it holds their values. A curve without nodes is 0 everywhere.
class SmoothCurve {
  public:
    struct Node {
        double x = 0.0;
        double y = 0.0;
    };

    SmoothCurve() = default;
    // Nodes in strictly rising x.
    explicit SmoothCurve(std::vector<Node> nodes);

    double operator()(double x) const;
    const std::vector<Node>& Nodes() const { return nodes_; }

  private:
    std::vector<Node> nodes_;
    std::vector<double> slopes_;
};

}  // namespace tavlin::sim
