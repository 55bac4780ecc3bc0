#include "panel/level_settings.h"

#include "app/vudavezid.h"
#include "panel/sweep_pause.h"
#include "ports/view_notifier.h"

namespace tavlin {

void ChangeLevelSettings(VUDAVEZid& document, const std::function<void(InstrumentState&)>& edit) {
    SweepPause pause(document);
    document.EditSettings(edit);
    document.ApplyLevelPlan();
    document.GetViews().UpdateAllViews();
}

void SetReferenceLevel(VUDAVEZid& document, double refLevelDbm) {
    ChangeLevelSettings(document,
                        [refLevelDbm](InstrumentState& s) { s.refLevelDbm = refLevelDbm; });
}

}  // namespace tavlin
