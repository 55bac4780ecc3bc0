#pragma once

#include "document/analyzer_document.h"
#include "document/instrument_lease.h"

namespace tavlin {

// Holds the sweep stopped for a change that reprograms the instrument, and
// restarts it at the end of the scope only if it was running before, also
// when the change ends early. While it holds, the instrument is the
// holder's through the lease it hands out.
class SweepPause {
  public:
    explicit SweepPause(AnalyzerDocument& document) : doc_(document), lease_(document) {
        doc_.PauseSweep();
    }
    ~SweepPause() { doc_.ResumeSweep(); }
    SweepPause(const SweepPause&) = delete;
    SweepPause& operator=(const SweepPause&) = delete;

    InstrumentLease& Instrument() { return lease_; }

  private:
    AnalyzerDocument& doc_;
    InstrumentLease lease_;
};

}  // namespace tavlin
