#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/reading_flag.h"
#include "document/marker_scale.h"
#include "document/marker_state.h"
#include "view/level_display.h"

namespace tavlin {

class AnalyzerDocument;

// One marker that is on, as the marker table lists it.
struct MarkerTableEntry {
    int number = 1;
    bool active = false;
    double position = 0.0;  // Hz without the downconverter offset; ms in zero span
    double level = 0.0;
    ReadingFlag flag = ReadingFlag::kNone;  // every cause, as the readout line shows it
};

// The marker table under the plot: each marker that is on with its
// frequency, its level and flag, and its difference to the reference
// marker, in the screen's units.
class MarkerTable {
  public:
    explicit MarkerTable(const MarkerScale& scale, LevelDisplay levels = {})
        : scale_(scale), levels_(std::move(levels)) {}

    // The markers that are on, 1 to 6, with their reading flags.
    static std::vector<MarkerTableEntry> Entries(AnalyzerDocument& document);

    // "915.000000 MHz" (with the downconverter offset), "12.500 ms" in zero span.
    std::string PositionText(const MarkerTableEntry& entry) const;
    // "-20.00 dBm", ">-20.00 dBm", "OFF SPAN".
    std::string LevelText(const MarkerTableEntry& entry) const;
    // "+1.250000 MHz, -3.20 dB" from the reference; empty for the reference itself.
    std::string DeltaText(const MarkerTableEntry& entry, const MarkerTableEntry& reference) const;

  private:
    const char* LevelUnit(bool difference) const;

    MarkerScale scale_;
    LevelDisplay levels_;
};

}  // namespace tavlin
