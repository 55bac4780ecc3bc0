#pragma once

#include "document/analyzer_document.h"

namespace tavlin {

// Holds the sweep stopped for a change that reprograms the instrument, and
// restarts it at the end of the scope only if it was running before, also
// when the change ends early.
class SweepPause {
  public:
    explicit SweepPause(AnalyzerDocument& document) : doc_(document) { doc_.PauseSweep(); }
    ~SweepPause() { doc_.ResumeSweep(); }
    SweepPause(const SweepPause&) = delete;
    SweepPause& operator=(const SweepPause&) = delete;

  private:
    AnalyzerDocument& doc_;
};

}  // namespace tavlin
