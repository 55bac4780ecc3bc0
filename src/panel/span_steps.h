#pragma once

namespace tavlin {

// The spans the SPAN "--" and "+" buttons step through: 1-2-5 from 100 Hz to
// 2 GHz.
constexpr double kSmallestSpanStepHz = 100.0;
constexpr double kLargestSpanStepHz = 2e9;

// The largest step below the span; the smallest step when none is.
double SpanStepDown(double spanHz);
// The smallest step above the span; the largest step when none is, so a span
// above 2 GHz comes back to 2 GHz.
double SpanStepUp(double spanHz);

}  // namespace tavlin
