#pragma once

#include <array>
#include <optional>

#include "base/reading_flag.h"
#include "document/trace_basis.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

// The measurements that integrate trace A, their settings kept with the
// screen: on or off, the channel (0 Hz: half the span), the share of power.
struct TraceMeasurementSettings {
    bool channelPowerOn = false;
    double channelBandwidthHz = 0.0;
    bool occupiedBandwidthOn = false;
    double occupiedPercent = 99.0;
    bool noiseOn = false;  // a utility reads noise density from the trace
};

struct ChannelPowerReading {
    double powerDbm = 0.0;
    double densityDbmHz = 0.0;
    double bandwidthHz = 0.0;  // the channel measured: never wider than the span
    double centreHz = 0.0;
    // Above the screen when part of the channel lies above it (the power is
    // at least this); over range when the IF was overdriven.
    ReadingFlag flag = ReadingFlag::kNone;
};

struct OccupiedBandwidthReading {
    double bandwidthHz = 0.0;
    double lowHz = 0.0;
    double highHz = 0.0;
    double freqErrorHz = 0.0;  // centre of the band less the centre frequency
    // Over range when part of the span lies above the screen or the IF was
    // overdriven: the power is not known, so neither is where it lies.
    ReadingFlag flag = ReadingFlag::kNone;
};

struct NoiseDensityReading {
    double densityDbmHz = 0.0;
    int columns = 0;  // the columns whose power was averaged
    // The screen's edges as for a marker; kDetector when the rows do not read
    // noise as its power (see MeasureNoiseDensity).
    ReadingFlag flag = ReadingFlag::kNone;
};

using TraceRows = std::array<double, kTracePoints>;

// Channel power over channelHz centred on the span (0 or less: half the
// span). Empty when the trace cannot be integrated or holds no power.
std::optional<ChannelPowerReading> MeasureChannelPower(const TraceRows& rows,
                                                       const TraceBasis& basis, double channelHz);

// The power in widthHz around centreHz (the band-power marker): the band
// cut to the span, flagged above screen (at least this) when it was cut.
// Empty when it cannot be integrated, lies off the span or holds no power.
std::optional<ChannelPowerReading> MeasureBandPower(const TraceRows& rows, const TraceBasis& basis,
                                                    double centreHz, double widthHz);

// The noise marker: the mean power of the columns within halfWidthColumns
// of the marker's column, less 10 log of the filter's noise bandwidth.
// Empty when the trace cannot be integrated or the marker is off the span.
std::optional<NoiseDensityReading> MeasureNoiseDensity(const TraceRows& rows,
                                                       const TraceBasis& basis, double positionHz,
                                                       int halfWidthColumns);

// The band holding `percent` of the power in the span, (100 - percent) / 2
// left out on each side. Empty for a percent outside (0, 100), a trace that
// cannot be integrated or one that holds no power.
std::optional<OccupiedBandwidthReading> MeasureOccupiedBandwidth(const TraceRows& rows,
                                                                 const TraceBasis& basis,
                                                                 double percent);

}  // namespace tavlin
