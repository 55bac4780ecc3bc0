#pragma once

#include <filesystem>
#include <iosfwd>

namespace tavlin {

class AnalyzerDocument;

// Advanced > ViewFlatness Corrections: the calibration table's flatness
// corrections drawn on the plot page by page, each row of the low and the
// high band at every attenuator step and then the two IF responses, with
// limit lines 16 counts outside the factory's smallest and largest values
// (CALMIN.kvo and CALMAX.kvo in `setsFolder`; without CALMIN the limit lines
// are off, without CALMAX its line lies at zero). The sweep is stopped for
// good: the screen keeps the last page until a preset. With `text`, each page
// is also written there as lines of counts (entry, current, min, max), for a
// terminal without the plot.
void ViewFlatnessCorrections(AnalyzerDocument& document, const std::filesystem::path& setsFolder,
                             std::ostream* text = nullptr);

}  // namespace tavlin
