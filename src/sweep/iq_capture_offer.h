#pragma once

#include <cstdint>

#include "sweep/sweep_context.h"

namespace tavlin {

// Hands `pairs` raw pairs of a capture tuned to `tunedHz` at decimation
// `decimation` to the context's tap, if one records; the LO's residual error
// and the sampler's orientation come from the context's plan.
void OfferTunedCapture(const SweepContext& context, const std::int32_t* i, const std::int32_t* q,
                       int pairs, double tunedHz, int decimation, bool continuesPrevious);

}  // namespace tavlin
