#include "sweep/spectrum_rows.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tavlin {

namespace {

// Pass-band droop of the sampler's decimation filter in dB, at
// |D x offset x 40 / 486111.1| = 0 .. 11; flat beyond.
constexpr std::array<double, 22> kDroopDb = {-0.6, -0.6, -0.5, -0.3, 0.0, 0.1, 0.15, 0.2,
                                             0.0,  -0.3, -0.6, -0.9, 0.0, 0.0, 0.0,  0.0,
                                             0.0,  0.0,  0.0,  0.0,  0.0, 0.0};

}  // namespace

double RowsPerDb(double dbPerDiv) {
    const double scale = std::isfinite(dbPerDiv) && dbPerDiv > 0.0 ? dbPerDiv : 10.0;
    return 50.0 / scale;
}

double ClampRow(double row) {
    // A row that is no number, or infinite either way, comes from a failed
    // computation, not from a signal: it draws on the floor, never at the top.
    if (!std::isfinite(row)) {
        return kBottomRowClamp;
    }
    return std::clamp(row, kTopRowClamp, kBottomRowClamp);
}

double ToLogRow(double power, double correctionDb, const SweepSettings& s) {
    if (!(power > 0.0)) {
        return kBottomRowClamp;
    }
    const double k = RowsPerDb(s.dbPerDiv);
    return ClampRow((s.refLevelDbm - correctionDb - s.attenDb) * k - 10.0 * k * std::log10(power));
}

double ToScreenRow(double power, double correctionDb, const SweepSettings& s) {
    if (!s.linearScale) {
        return ToLogRow(power, correctionDb, s);
    }
    const double volts = std::sqrt(std::max(power, 0.0));
    const double scale = std::pow(10.0, (correctionDb + s.attenDb - s.refLevelDbm) * 0.05);
    return ClampRow(500.0 - scale * volts * 500.0);
}

double RowOnScale(double logRow, const SweepSettings& s) {
    if (!s.linearScale || std::isnan(logRow)) {
        return ClampRow(logRow);
    }
    const double voltsOfReference = std::pow(10.0, -logRow / (20.0 * RowsPerDb(s.dbPerDiv)));
    return ClampRow(kBottomRow - kBottomRow * voltsOfReference);
}

double DroopPowerFactor(int decimation, double offsetHz) {
    const double x = std::fabs(decimation * offsetHz * 40.0 / 486111.1);
    if (!(x < static_cast<double>(kDroopDb.size() - 1))) {
        return 1.0;
    }
    const auto i = static_cast<std::size_t>(x);
    const double droopDb = (x - i) * kDroopDb[i + 1] + (i + 1 - x) * kDroopDb[i];
    return std::pow(10.0, -0.1 * droopDb);
}

void StoreRow(SweepTrace& trace, int i, double row, const SweepSettings& settings) {
    const double held = trace.traceA[i];
    const bool keepHeld = (settings.maxHold && row >= held) || (settings.minHold && row <= held);
    if (!keepHeld) {
        trace.traceA[i] = row;
    }
    trace.traceAInt[i] = static_cast<std::int32_t>(trace.traceA[i]);
}

void SetRow(SweepTrace& trace, int i, double row) {
    trace.traceA[i] = row;
    trace.traceAInt[i] = static_cast<std::int32_t>(row);
}

}  // namespace tavlin
