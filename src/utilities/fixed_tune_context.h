#pragma once

#include "document/instrument_lease.h"
#include "sweep/sweep_context.h"

namespace tavlin {

// The sweep context of a utility that tunes the engine to one frequency
// itself (the measuring receiver, the listener): the screen's settings with
// start and stop at that frequency, the engine prepared for them. The
// document's own start and stop stay as they are.
struct FixedTuneContext {
    FixedTuneContext(InstrumentLease& instrument, double freqHz);
    FixedTuneContext(const FixedTuneContext&) = delete;
    FixedTuneContext& operator=(const FixedTuneContext&) = delete;

    SweepSettings settings;
    SweepTrace trace;
    SweepOutcome outcome;
    SweepContext context;
};

}  // namespace tavlin
