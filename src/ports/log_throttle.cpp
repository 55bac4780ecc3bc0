#include "ports/log_throttle.h"

#include <algorithm>

namespace tavlin {

bool LogThrottle::Admit(LogLevel level, std::string_view topic, TimePoint now) {
    if (level != LogLevel::kError && level != LogLevel::kWarning) {
        return true;
    }
    auto source = std::ranges::find_if(
        sources_, [&](const Source& s) { return s.level == level && s.topic == topic; });
    if (source == sources_.end()) {
        sources_.push_back({level, std::string(topic), now});
        source = sources_.end() - 1;
    }
    if (now - source->windowStart >= kWindow) {
        source->windowStart = now;
        source->lines = 0;
    }
    if (++source->lines <= kBurstLines) {
        return true;
    }
    ++source->held;
    return false;
}

// A source whose window has ended and holds nothing is forgotten, so the
// list stays as short as the topics of the last second.
std::vector<std::string> LogThrottle::TakeSummaries(TimePoint now, bool all) {
    std::vector<std::string> summaries;
    for (Source& source : sources_) {
        const bool ended = now - source.windowStart >= kWindow;
        if (source.held > 0 && (ended || all)) {
            summaries.push_back(
                FormatLogLine(source.level, source.topic,
                              "... and " + std::to_string(source.held) + " more like it"));
            source.held = 0;
        }
    }
    std::erase_if(sources_,
                  [now](const Source& s) { return s.held == 0 && now - s.windowStart >= kWindow; });
    return summaries;
}

}  // namespace tavlin
