#include "document/marker_measurements.h"

#include "document/analyzer_document.h"

namespace tavlin {

std::optional<NoiseDensityReading> MarkerMeasurements::NoiseAtActiveMarker(
    int halfWidthColumns) const {
    auto reading = doc_.ReadTrace([halfWidthColumns](const ScreenState& screen) {
        const MarkerState& m = screen.markers;
        return m.ActiveOn() ? MeasureNoiseDensity(screen.trace.traceA, screen.basis,
                                                  m.ActivePosition(), halfWidthColumns)
                            : std::nullopt;
    });
    if (reading) {
        reading->flag = WorseReadingFlag(reading->flag, doc_.TraceReadingFlag());
    }
    return reading;
}

std::optional<ChannelPowerReading> MarkerMeasurements::BandPowerAtActiveMarker(
    double widthHz) const {
    auto reading = doc_.ReadTrace([widthHz](const ScreenState& screen) {
        const MarkerState& m = screen.markers;
        return m.ActiveOn() ? MeasureBandPower(screen.trace.traceA, screen.basis,
                                               m.ActivePosition(), widthHz)
                            : std::nullopt;
    });
    if (reading) {
        reading->flag = WorseReadingFlag(reading->flag, doc_.TraceReadingFlag());
    }
    return reading;
}

// Rows put on the screen as they are to be drawn (no sweep yet) have no
// peaks worth a table.
std::vector<PeakTableRow> MarkerMeasurements::PeakTable(const PeakTableSettings& settings) const {
    std::vector<PeakTableRow> table = doc_.ReadTrace([&settings](const ScreenState& screen) {
        if (!screen.basis.measured) {
            return std::vector<PeakTableRow>{};
        }
        return FindPeakTable(screen.trace.traceA, screen.basis.scale, screen.basis.ifCompressed,
                             settings);
    });
    const ReadingFlag sweep = doc_.TraceReadingFlag();
    for (PeakTableRow& row : table) {
        row.flag = WorseReadingFlag(row.flag, sweep);
    }
    return table;
}

}  // namespace tavlin
