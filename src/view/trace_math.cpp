#include "view/trace_math.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "sweep/spectrum_rows.h"

namespace tavlin {

namespace {

// dB of A over B from two rows of the linear scale: row 0 the reference
// voltage, row 500 none. No voltage counts as the bottom clamp's.
double LinearRowsDb(std::int32_t a, std::int32_t b) {
    constexpr double kLeast = 1e-6;
    const double va = std::max(kLeast, 1.0 - a / kBottomRow);
    const double vb = std::max(kLeast, 1.0 - b / kBottomRow);
    return 20.0 * std::log10(va / vb);
}

}  // namespace

ScreenRows TraceDifferenceRows(const ScreenRows& a, const ScreenRows& b, const MarkerScale& scale) {
    ScreenRows rows{};
    const double rowsPerDb = RowsPerDb(scale.dbPerDiv);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (a[i] == kNoRow || b[i] == kNoRow) {
            rows[i] = kNoRow;
            continue;
        }
        const double differenceRows =
            scale.linearScale ? LinearRowsDb(a[i], b[i]) * rowsPerDb : double(b[i]) - a[i];
        const double row =
            std::clamp(kTraceMathReferenceRow - differenceRows, double(-kFarRow), double(kFarRow));
        rows[i] = static_cast<std::int32_t>(std::lround(row));
    }
    return rows;
}

}  // namespace tavlin
