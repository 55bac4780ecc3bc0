#include "utilities/utility_session.h"

namespace tavlin {

UtilitySession::UtilitySession(AnalyzerDocument& document) : doc_(document) {
    doc_.PauseSweep();
}

UtilitySession::~UtilitySession() {
    doc_.engine.ifInUse = doc_.ReadSettings([](const InstrumentState& s) { return s.ifFreq1Hz; });
    doc_.link.SetIfPath(0);
    doc_.ApplyLevelPlan();
    doc_.ResumeSweep();
}

}  // namespace tavlin
