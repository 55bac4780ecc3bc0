#include "document/level_settings.h"

#include "document/analyzer_document.h"
#include "document/sweep_pause.h"

namespace tavlin {

void ChangeLevelSettings(AnalyzerDocument& document,
                         const std::function<void(InstrumentState&)>& edit) {
    SweepPause pause(document);
    document.EditSettings(edit);
    document.ApplyLevelPlan();
}

void SetReferenceLevel(AnalyzerDocument& document, double refLevelDbm) {
    ChangeLevelSettings(document,
                        [refLevelDbm](InstrumentState& s) { s.refLevelDbm = refLevelDbm; });
}

}  // namespace tavlin
