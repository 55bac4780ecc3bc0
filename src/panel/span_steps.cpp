#include "panel/span_steps.h"

#include <array>

namespace tavlin {

namespace {

constexpr std::array<double, 23> kSpanSteps{
    100.0, 200.0, 500.0, 1e3,  2e3,  5e3,  10e3,  20e3,  50e3,  100e3, 200e3, 500e3,
    1e6,   2e6,   5e6,   10e6, 20e6, 50e6, 100e6, 200e6, 500e6, 1e9,   2e9,
};

// A span worked out as stop - start near 4.4 GHz carries rounding of a few
// microhertz: a span that close to a step is that step, so a press never
// lands on the span it started from.
constexpr double kSameSpanHz = 1e-3;

}  // namespace

double SpanStepDown(double spanHz) {
    double next = kSpanSteps.front();
    for (const double step : kSpanSteps) {
        if (step < spanHz - kSameSpanHz) {
            next = step;
        }
    }
    return next;
}

double SpanStepUp(double spanHz) {
    for (const double step : kSpanSteps) {
        if (step > spanHz + kSameSpanHz) {
            return step;
        }
    }
    return kSpanSteps.back();
}

}  // namespace tavlin
