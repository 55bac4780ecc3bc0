#pragma once

#include "sweep/sweep_settings.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

constexpr double kTopRowClamp = -5.0;
constexpr double kBottomRowClamp = 505.0;

// Rows per dB: 50 rows a division. A scale that is 0, negative or not a
// number cannot come from the panel; it draws as 10 dB/div.
double RowsPerDb(double dbPerDiv);

double ClampRow(double row);

// The screen row of a power P relative to full scale under correction c,
// honouring the linear scale. P = 0 gives the bottom clamp on the log scale.
double ToScreenRow(double power, double correctionDb, const SweepSettings& settings);

// The same on the logarithmic scale whatever the settings say (the stepped
// sweeps draw in dB always).
double ToLogRow(double power, double correctionDb, const SweepSettings& settings);

// The row on the settings' scale for a level given as a logarithmic row,
// unclamped (+infinity for no power). The linear row shows the same power:
// the reference level's voltage at row 0, zero volts at row 500.
double RowOnScale(double logRow, const SweepSettings& settings);

// Decimation droop at an offset from the IF centre, as a power factor that
// undoes the sampler's anti-alias response (entries from 12 on are flat).
double DroopPowerFactor(int decimation, double offsetHz);

// Stores a new row at point i, honouring max hold (a held row is replaced
// only by a higher level, i.e. a smaller row) and min hold (only by a lower
// level); the integer row follows.
void StoreRow(SweepTrace& trace, int i, double row, const SweepSettings& settings);

// Writes a row unconditionally (zero span, max hold off).
void SetRow(SweepTrace& trace, int i, double row);

}  // namespace tavlin
