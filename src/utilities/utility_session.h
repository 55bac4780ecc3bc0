#pragma once

#include "document/analyzer_document.h"

namespace tavlin {

// A utility's hold on the instrument: the sweep is paused for the whole
// scope; at its end the first IF and its path come back, the level plan is
// sent again and the sweep restarts if it ran before.
class UtilitySession {
  public:
    explicit UtilitySession(AnalyzerDocument& document);
    ~UtilitySession();
    UtilitySession(const UtilitySession&) = delete;
    UtilitySession& operator=(const UtilitySession&) = delete;

  private:
    AnalyzerDocument& doc_;
};

}  // namespace tavlin
