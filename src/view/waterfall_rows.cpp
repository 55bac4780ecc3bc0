#include "view/waterfall_rows.h"

#include <algorithm>
#include <cmath>

#include "view/waterfall_settings.h"

namespace tavlin {

WaterfallRows::WaterfallRows(double viewHeight, int lineHeight, std::size_t historyLines)
    : viewHeight_(std::max(viewHeight, 0.0)) {
    const int lines = static_cast<int>(std::max<std::size_t>(historyLines, 1));
    if (lineHeight <= WaterfallSettings::kFit) {
        lineHeight_ = viewHeight_ / lines;
        slotsShown_ = lines;
        return;
    }
    lineHeight_ = lineHeight;
    slotsShown_ = std::min(lines, static_cast<int>(std::ceil(viewHeight_ / lineHeight_)));
}

std::optional<int> WaterfallRows::AgeAt(double y) const {
    if (!(y >= 0.0) || y >= viewHeight_ || lineHeight_ <= 0.0) {
        return std::nullopt;
    }
    const int age = static_cast<int>(std::floor(y / lineHeight_));
    if (age >= slotsShown_) {
        return std::nullopt;
    }
    return age;
}

}  // namespace tavlin
