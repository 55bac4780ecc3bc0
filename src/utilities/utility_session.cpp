#include "utilities/utility_session.h"

namespace tavlin {

UtilitySession::UtilitySession(AnalyzerDocument& document) : doc_(document), pause_(document) {
    doc_.SetUtilityOwner(true);
    doc_.EditSettings([this](InstrumentState& s) {
        maxHold_ = s.maxHold;
        minHold_ = s.minHold;
        videoAvgCount_ = s.videoAvgCount;
        powerAvgCount_ = s.powerAvgCount;
        s.maxHold = 0;
        s.minHold = 0;
        s.videoAvgCount = 1;
        s.powerAvgCount = 1;
    });
}

UtilitySession::~UtilitySession() {
    doc_.EditSettings([this](InstrumentState& s) {
        s.maxHold = maxHold_;
        s.minHold = minHold_;
        s.videoAvgCount = videoAvgCount_;
        s.powerAvgCount = powerAvgCount_;
        s.powerAvgIndex = 0;
    });
    pause_.Instrument().ReturnToFirstIf();
    doc_.ApplyLevelPlan();
    doc_.SetUtilityOwner(false);
}

}  // namespace tavlin
