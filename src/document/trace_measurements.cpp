#include "document/trace_measurements.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "document/level_rows.h"

namespace tavlin {

namespace {

// Each column stands for the cell of frequencies nearer to it than to its
// neighbours; the end columns have half a cell, inside the span.
struct Cell {
    double lowHz;
    double highHz;
};

Cell CellOf(const MarkerScale& scale, int column) {
    const double step = scale.SpanHz() / MarkerScale::kLastColumn;
    const double centre = scale.startHz + column * step;
    return {std::max(centre - step / 2.0, scale.startHz),
            std::min(centre + step / 2.0, scale.stopHz)};
}

// The column's power in milliwatts as the resolution filter read it.
double PowerOfRow(const MarkerScale& scale, double row) {
    const double level = scale.LevelOfRow(row);
    if (scale.linearScale) {
        const double ratio = level / DbmToMillivolts(0.0);
        return level > 0.0 ? ratio * ratio : 0.0;
    }
    return std::pow(10.0, level / 10.0);
}

bool Integrable(const TraceBasis& basis) {
    return basis.noiseBandwidthHz > 0.0 && !basis.scale.ZeroSpan() &&
           std::isfinite(basis.scale.SpanHz());
}

bool Clipped(double row) {
    return FlagOfRow(row) == ReadingFlag::kAboveScreen;
}

ReadingFlag CompressionFlag(const TraceBasis& basis) {
    return basis.ifCompressed ? ReadingFlag::kOverRange : ReadingFlag::kNone;
}

double ToDbm(double milliwatts) {
    return 10.0 * std::log10(milliwatts);
}

}  // namespace

// A filter of noise bandwidth B swept across a spectrum reads, at each
// frequency, the spectrum's power within B of it: the integral of the trace
// over the channel divided by B is the power in the channel, for a tone as
// for noise, as long as the columns lie closer than the filter is wide.
std::optional<ChannelPowerReading> MeasureChannelPower(const TraceRows& rows,
                                                       const TraceBasis& basis, double channelHz) {
    const MarkerScale& scale = basis.scale;
    const double span = scale.SpanHz();
    double width = std::isfinite(channelHz) && channelHz > 0.0 ? channelHz : span / 2.0;
    width = std::min(width, span);
    return MeasureBandPower(rows, basis, (scale.startHz + scale.stopHz) / 2.0, width);
}

// The part of the band beyond the span was not swept: the power of the part
// that was is a lower bound of the band's.
std::optional<ChannelPowerReading> MeasureBandPower(const TraceRows& rows, const TraceBasis& basis,
                                                    double centreHz, double widthHz) {
    if (!Integrable(basis) || !std::isfinite(centreHz) || !std::isfinite(widthHz) ||
        !(widthHz > 0.0)) {
        return std::nullopt;
    }
    const MarkerScale& scale = basis.scale;
    const double low = std::max(centreHz - widthHz / 2.0, scale.startHz);
    const double high = std::min(centreHz + widthHz / 2.0, scale.stopHz);
    if (!(high > low)) {
        return std::nullopt;
    }
    ChannelPowerReading reading;
    if (high - low < widthHz * (1.0 - 1e-12)) {
        reading.flag = ReadingFlag::kAboveScreen;
    }
    double integral = 0.0;
    for (int i = 0; i <= MarkerScale::kLastColumn; ++i) {
        const Cell cell = CellOf(scale, i);
        const double inside = std::min(cell.highHz, high) - std::max(cell.lowHz, low);
        if (inside <= 0.0) {
            continue;
        }
        integral += PowerOfRow(scale, rows[i]) * inside;
        if (Clipped(rows[i])) {
            reading.flag = WorseReadingFlag(reading.flag, ReadingFlag::kAboveScreen);
        }
    }
    reading.flag = WorseReadingFlag(reading.flag, CompressionFlag(basis));
    const double power = integral / basis.noiseBandwidthHz;
    if (!(power > 0.0) || !std::isfinite(power)) {
        return std::nullopt;
    }
    reading.powerDbm = ToDbm(power);
    reading.densityDbmHz = ToDbm(power / (high - low));
    reading.bandwidthHz = high - low;
    reading.centreHz = (low + high) / 2.0;
    return reading;
}

namespace {

// Only rows of mean power read noise as its power, and only while nothing
// else has shaped them since. No row of this program is a log-detected
// sample, the case the familiar 2.51 dB correction is exact for: an FFT
// bin's power is averaged over the captured blocks before it is put in dB,
// and a pixel's row is the mean power of its bins (the RMS detector) or the
// strongest of them. The strongest of several bins reads noise high, and
// the video average (in dB, or in mV on the linear scale) reads it low, each
// by an amount that depends on the bins per pixel and the blocks averaged,
// between 0 and a few dB: no one correction is right, so those readings are
// given uncorrected and flagged.
ReadingFlag DetectorFlag(const TraceBasis& basis) {
    const bool powerOfNoise =
        basis.powerMeanRows && !basis.averagedOverSweeps && !basis.heldOverSweeps;
    return powerOfNoise ? ReadingFlag::kNone : ReadingFlag::kDetector;
}

}  // namespace

// A row on the bottom line says the noise lies at or below it, one on the
// top row that it lies at or above.
std::optional<NoiseDensityReading> MeasureNoiseDensity(const TraceRows& rows,
                                                       const TraceBasis& basis, double positionHz,
                                                       int halfWidthColumns) {
    const MarkerScale& scale = basis.scale;
    if (!Integrable(basis) || !scale.Shows(positionHz)) {
        return std::nullopt;
    }
    const int centre = scale.ColumnOfPosition(positionHz);
    const int first = std::max(centre - std::max(halfWidthColumns, 0), 0);
    const int last = std::min(centre + std::max(halfWidthColumns, 0), MarkerScale::kLastColumn);
    NoiseDensityReading reading;
    double sum = 0.0;
    for (int i = first; i <= last; ++i) {
        sum += PowerOfRow(scale, rows[i]);
        reading.flag = WorseReadingFlag(reading.flag, FlagOfRow(rows[i]));
    }
    reading.columns = last - first + 1;
    const double mean = sum / reading.columns;
    if (!(mean > 0.0) || !std::isfinite(mean)) {
        return std::nullopt;
    }
    reading.densityDbmHz = ToDbm(mean / basis.noiseBandwidthHz);
    reading.flag = WorseReadingFlag(WorseReadingFlag(reading.flag, DetectorFlag(basis)),
                                    CompressionFlag(basis));
    return reading;
}

// The edges are found in the running sum of the cells' power, each cell's
// power taken as spread evenly over it, so an edge falls between columns.
std::optional<OccupiedBandwidthReading> MeasureOccupiedBandwidth(const TraceRows& rows,
                                                                 const TraceBasis& basis,
                                                                 double percent) {
    if (!Integrable(basis) || !(percent > 0.0 && percent < 100.0)) {
        return std::nullopt;
    }
    const MarkerScale& scale = basis.scale;
    std::vector<double> energy(kTracePoints);
    double total = 0.0;
    bool clipped = false;
    for (int i = 0; i <= MarkerScale::kLastColumn; ++i) {
        const Cell cell = CellOf(scale, i);
        energy[i] = PowerOfRow(scale, rows[i]) * (cell.highHz - cell.lowHz);
        total += energy[i];
        clipped = clipped || Clipped(rows[i]);
    }
    if (!(total > 0.0) || !std::isfinite(total)) {
        return std::nullopt;
    }
    const double outside = total * (100.0 - percent) / 200.0;
    // The frequency where the running sum from the low end reaches `target`.
    auto crossing = [&](double target) {
        double sum = 0.0;
        for (int i = 0; i <= MarkerScale::kLastColumn; ++i) {
            if (sum + energy[i] >= target && energy[i] > 0.0) {
                const Cell cell = CellOf(scale, i);
                return cell.lowHz + (target - sum) / energy[i] * (cell.highHz - cell.lowHz);
            }
            sum += energy[i];
        }
        return scale.stopHz;
    };
    OccupiedBandwidthReading reading;
    reading.lowHz = crossing(outside);
    reading.highHz = crossing(total - outside);
    reading.bandwidthHz = reading.highHz - reading.lowHz;
    reading.freqErrorHz =
        (reading.lowHz + reading.highHz) / 2.0 - (scale.startHz + scale.stopHz) / 2.0;
    reading.flag = clipped ? ReadingFlag::kOverRange : CompressionFlag(basis);
    return reading;
}

}  // namespace tavlin
