#pragma once

#include <optional>
#include <string_view>

#include "ports/log.h"

namespace tavlin {

inline constexpr const char* kLogLevelUsage =
    "  --log-level LEVEL   what the log keeps: error, warning, info or debug\n";

// --log-level LEVEL or --log-level=LEVEL: how many arguments it took (1 or
// 2), 0 when the argument is another option, -1 when the level is not one
// of the four.
inline int TakeLogLevelOption(std::string_view arg, const char* next, LogLevel& level) {
    std::optional<std::string_view> value;
    int used = 1;
    if (arg == "--log-level") {
        used = 2;
        value = next != nullptr ? std::optional<std::string_view>(next) : std::nullopt;
    } else if (arg.starts_with("--log-level=")) {
        value = arg.substr(std::string_view("--log-level=").size());
    } else {
        return 0;
    }
    const std::optional<LogLevel> parsed = value ? ParseLogLevel(*value) : std::nullopt;
    if (!parsed) {
        return -1;
    }
    level = *parsed;
    return used;
}

}  // namespace tavlin
