#include "utilities/utility_session.h"

namespace tavlin {

UtilitySession::UtilitySession(AnalyzerDocument& document) : doc_(document) {
    doc_.PauseSweep();
    doc_.SetUtilityOwner(true);
    doc_.EditSettings([this](InstrumentState& s) {
        maxHold_ = s.maxHold;
        videoAvgCount_ = s.videoAvgCount;
        s.maxHold = 0;
        s.videoAvgCount = 1;
    });
}

UtilitySession::~UtilitySession() {
    doc_.EditSettings([this](InstrumentState& s) {
        s.maxHold = maxHold_;
        s.videoAvgCount = videoAvgCount_;
    });
    doc_.engine.ifInUse = doc_.ReadSettings([](const InstrumentState& s) { return s.ifFreq1Hz; });
    doc_.link.SetIfPath(0);
    doc_.ApplyLevelPlan();
    doc_.SetUtilityOwner(false);
    doc_.ResumeSweep();
}

}  // namespace tavlin
