#pragma once

#include <optional>

namespace tavlin {

// Where the analyzer screen lies, in plot units: screen pixels, or printer
// units divided by the print scale. The graticule is 640 by 500 with its top
// left corner at (10, top); a trace point of column c and row r lies at
// (10 + c, top + r).
struct PlotPoint {
    int x = 0;
    int y = 0;
};

namespace plot {

constexpr int kScreenTop = 70;  // the graticule's top line on screen
constexpr int kPrintTop = 100;  // and on paper, below the title
constexpr int kLeft = 10;
constexpr int kRight = 650;
constexpr int kWidth = 660;  // the screen left of the front panel
// Two lines for markers 3 to 6 under the marker readout strip.
constexpr int kExtraReadoutLines = 2;
constexpr int kExtraReadoutHeight = 22;
// Down to below the marker readout strips.
constexpr int kHeight = 670 + kExtraReadoutLines * kExtraReadoutHeight;
constexpr int kGraticuleHeight = 500;
constexpr int kDivisions = 10;
constexpr int kColumnsPerDivision = 64;
constexpr int kRowsPerDivision = 50;
constexpr int kLastColumn = 640;
// A right-button drag over fewer columns is a click, not a zoom box.
constexpr int kLeastBoxColumns = 4;
// The frequency annotations end this far below the graticule's top line.
constexpr int kAxisBottom = 555;
// On paper the screen moves down by the title; its bottom is the readout's.
constexpr int kPrintedHeight = kPrintTop + kHeight - kScreenTop;

// The square of the sweep-activity indicator, in the top right corner.
constexpr int kIndicatorLeft = 624;
constexpr int kIndicatorTop = 4;
constexpr int kIndicatorSize = 32;

// A left click on the graticule (its top line excluded, its bottom line
// included) picks the column under the pointer.
inline std::optional<int> ClickColumn(int x, int y, int top) {
    if (x > kLeft - 1 && x < kRight + 1 && y > top && y <= top + kGraticuleHeight) {
        return x - kLeft;
    }
    return std::nullopt;
}

// The pointer reads the trace from a little above the graticule down to the
// frequency annotations; only columns that hold a trace point are read.
inline std::optional<int> CursorColumn(int x, int y, int top) {
    if (x > kLeft - 1 && x <= kLeft + kLastColumn && y > top - 20 && y < top + kAxisBottom) {
        return x - kLeft;
    }
    return std::nullopt;
}

// The frequency annotations under the graticule, where a drag pans.
inline bool OnFrequencyAxis(int x, int y, int top) {
    return x > kLeft - 1 && x < kRight + 1 && y > top + kGraticuleHeight && y < top + kAxisBottom;
}

}  // namespace plot

}  // namespace tavlin
