#pragma once

#include "document/analyzer_document.h"
#include "document/sweep_pause.h"

namespace tavlin {

// A factory procedure's hold on the instrument: the sweep is paused for the
// whole scope and SINGLE and CONTINUOUS are refused, so no second thread
// retunes the unit under the procedure; at its end the sweep restarts if it
// ran before. The procedure drives the unit through the lease it hands out.
class ProcedureHold {
  public:
    explicit ProcedureHold(AnalyzerDocument& document) : pause_(document) {
        document.SetUtilityOwner(true);
    }
    ~ProcedureHold() { pause_.Instrument().Document().SetUtilityOwner(false); }
    ProcedureHold(const ProcedureHold&) = delete;
    ProcedureHold& operator=(const ProcedureHold&) = delete;

    InstrumentLease& Instrument() { return pause_.Instrument(); }

  private:
    SweepPause pause_;
};

}  // namespace tavlin
