#pragma once

#include <cstdint>

#include "document/analyzer_document.h"
#include "document/sweep_pause.h"

namespace tavlin {

// A utility's hold on the instrument: the sweep is paused for the whole
// scope and run control is refused; max and min hold and both averages are
// off (a utility that copies trace A wants each sweep's own rows, not rows
// held or averaged with the screen's). At its end these come back, with the
// first IF and its path and the level plan, and the sweep restarts if it
// ran before.
class UtilitySession {
  public:
    explicit UtilitySession(AnalyzerDocument& document);
    ~UtilitySession();
    UtilitySession(const UtilitySession&) = delete;
    UtilitySession& operator=(const UtilitySession&) = delete;

    InstrumentLease& Instrument() { return pause_.Instrument(); }

  private:
    AnalyzerDocument& doc_;
    SweepPause pause_;
    int maxHold_ = 0;
    int minHold_ = 0;
    std::int32_t videoAvgCount_ = 1;
    std::int32_t powerAvgCount_ = 1;
};

}  // namespace tavlin
