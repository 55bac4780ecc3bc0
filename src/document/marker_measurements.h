#pragma once

#include <optional>
#include <vector>

#include "document/peak_table.h"
#include "document/trace_measurements.h"

namespace tavlin {

class AnalyzerDocument;

// What the window reads off trace A around the active marker and across
// the screen: the noise marker, the band-power marker and the peak table.
// Each reading carries the flag of the sweep it came from as well.
class MarkerMeasurements {
  public:
    explicit MarkerMeasurements(const AnalyzerDocument& document) : doc_(document) {}

    // dBm/Hz over the columns within halfWidthColumns of the active marker;
    // empty when it is off or the trace has no noise bandwidth.
    std::optional<NoiseDensityReading> NoiseAtActiveMarker(int halfWidthColumns) const;
    // The power within widthHz centred on the active marker.
    std::optional<ChannelPowerReading> BandPowerAtActiveMarker(double widthHz) const;
    std::vector<PeakTableRow> PeakTable(const PeakTableSettings& settings) const;

  private:
    const AnalyzerDocument& doc_;
};

}  // namespace tavlin
