#pragma once

#include <filesystem>

namespace tavlin {

class AnalyzerDocument;
class CalBench;
class GpibBus;
struct ComparisonSets;

// The factory adjustments fill the in-memory calibration table from bench
// measurements; "Store Cal Data" (or DO ALL ADJUSTMENTS) writes it to the
// unit. Each returns true when it succeeded; a failure has been shown.

// The IF filters' responses: 51 points 5 kHz apart across each IF, written
// as ifFlatness10M7 and ifFlatness2M9 when they fit and lie within the
// comparison sets.
bool AdjustIfResponse(AnalyzerDocument& document, CalBench& bench, const ComparisonSets& sets);

// Advanced > Adjustments > IF Response: the sweep paused, the bench opened,
// the comparison sets read from `setsFolder`, the adjustment.
bool RunIfResponseAdjustment(AnalyzerDocument& document, GpibBus& bus,
                             const std::filesystem::path& setsFolder);

}  // namespace tavlin
