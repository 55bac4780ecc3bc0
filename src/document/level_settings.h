#pragma once

#include <functional>

namespace tavlin {

struct InstrumentState;
class AnalyzerDocument;

// A change the level plan must follow (reference level, its offset, the
// attenuator): written with the sweep stopped, then the level plan chooses
// attenuation and IF gain and programs the instrument, the views repaint, and
// the sweep resumes if it ran.
void ChangeLevelSettings(AnalyzerDocument& document,
                         const std::function<void(InstrumentState&)>& edit);

// The reference level without its offset, in dBm: the REFERENCE LEVEL entry
// and the automation's reference level command.
void SetReferenceLevel(AnalyzerDocument& document, double refLevelDbm);

}  // namespace tavlin
