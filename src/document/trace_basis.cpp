#include "document/trace_basis.h"

namespace tavlin {

ScreenRows RowsShownOn(const ScreenRows& rows, const TraceBasis& basis, const MarkerScale& shown) {
    return basis.measured ? RowsOnScale(rows, basis.scale, shown) : rows;
}

bool LevelsStaleOn(const TraceBasis& basis, const MarkerScale& shown) {
    return basis.measured && !SameLevelUnit(basis.scale, shown);
}

}  // namespace tavlin
