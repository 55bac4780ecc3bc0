#pragma once

#include <cmath>
#include <optional>

namespace tavlin {

// An accepted entry that is not a finite number would pass every clamp on its
// way to the instrument: it is treated as no entry at all.
inline std::optional<double> FiniteEntry(std::optional<double> value) {
    if (value && std::isfinite(*value)) {
        return value;
    }
    return std::nullopt;
}

}  // namespace tavlin
