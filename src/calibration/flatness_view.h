#pragma once

#include <filesystem>

namespace tavlin {

class AnalyzerDocument;

// Advanced > ViewFlatness Corrections: the calibration table's flatness
// corrections drawn on the plot page by page, each row of the low and the
// high band at every attenuator step and then the two IF responses, with
// limit lines 16 counts outside the factory's smallest and largest values
// (CALMIN.kvo and CALMAX.kvo in `setsFolder`; without CALMIN the limit lines
// are off, without CALMAX its line lies at zero). The sweep is stopped for
// good: the screen keeps the last page until a preset.
void ViewFlatnessCorrections(AnalyzerDocument& document, const std::filesystem::path& setsFolder);

}  // namespace tavlin
