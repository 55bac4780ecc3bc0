#include "document/trace_power_average.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "sweep/spectrum_rows.h"

namespace tavlin {

namespace {

// Power relative to the reference level of a row, and back.
double PowerOfRow(double row, double dbPerDiv, bool linearScale) {
    if (linearScale) {
        const double volts = std::max(0.0, 1.0 - row / kBottomRow);
        return volts * volts;
    }
    return std::pow(10.0, -0.1 * row / RowsPerDb(dbPerDiv));
}

double RowOfPower(double power, double dbPerDiv, bool linearScale) {
    if (linearScale) {
        return kBottomRow * (1.0 - std::sqrt(power));
    }
    return power > 0.0 ? -10.0 * std::log10(power) * RowsPerDb(dbPerDiv) : kBottomRowClamp;
}

}  // namespace

TracePowerAverage::Rows TracePowerAverage::Add(const Rows& rows, double dbPerDiv, bool linearScale,
                                               int averageCount) {
    count_ = std::min(count_ + 1, std::max(1, averageCount));
    const double weight = 1.0 / count_;
    Rows averaged{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double power = PowerOfRow(rows[i], dbPerDiv, linearScale);
        power_[i] = count_ == 1 ? power : power_[i] + (power - power_[i]) * weight;
        averaged[i] = ClampRow(RowOfPower(power_[i], dbPerDiv, linearScale));
    }
    return averaged;
}

}  // namespace tavlin
