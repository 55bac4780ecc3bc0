#pragma once

#include "document/analyzer_document.h"

namespace tavlin {

// A factory procedure's hold on the instrument: the sweep is paused for the
// whole scope and SINGLE and CONTINUOUS are refused, so no second thread
// retunes the unit under the procedure; at its end the sweep restarts if it
// ran before.
class ProcedureHold {
  public:
    explicit ProcedureHold(AnalyzerDocument& document) : doc_(document) {
        doc_.PauseSweep();
        doc_.SetUtilityOwner(true);
    }
    ~ProcedureHold() {
        doc_.SetUtilityOwner(false);
        doc_.ResumeSweep();
    }
    ProcedureHold(const ProcedureHold&) = delete;
    ProcedureHold& operator=(const ProcedureHold&) = delete;

  private:
    AnalyzerDocument& doc_;
};

}  // namespace tavlin
