#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "ports/log.h"

namespace tavlin {

// Keeps a burst of one event from flooding the log: a client sending
// garbage, a link failing on every block. Past kBurstLines lines of one
// level and topic within kWindow, further lines are only counted, and the
// count comes back once, as a summary, when the window has passed. A reader
// of standard error that cannot keep up then neither stalls the program nor
// loses the lines around the burst.
//
// Errors and warnings only: info and debug lines are detail the user asked
// for. The caller holds the lock; the times are the caller's, so the class
// itself never reads a clock.
class LogThrottle {
  public:
    static constexpr int kBurstLines = 10;
    static constexpr std::chrono::seconds kWindow{1};
    using TimePoint = std::chrono::steady_clock::time_point;

    // True when the line is to be written, false when it is only counted.
    bool Admit(LogLevel level, std::string_view topic, TimePoint now);
    // The summary lines of the windows that ended by `now` ("warning SCPI:
    // ... and 1913 more like it"), each given once; with `all`, of every
    // window, ended or not.
    std::vector<std::string> TakeSummaries(TimePoint now, bool all = false);

  private:
    struct Source {
        LogLevel level;
        std::string topic;
        TimePoint windowStart;
        int lines = 0;
        int held = 0;
    };

    std::vector<Source> sources_;  // a few topics at a time
};

}  // namespace tavlin
