#pragma once

#include "ports/log.h"

namespace tavlin {

// The program's log set for the life of a scope (main's, or a test's), and
// no log after it; the sink must outlive every thread that may log.
class ScopedLogSink {
  public:
    ScopedLogSink(LogSink& sink, LogLevel level) { SetLogSink(&sink, level); }
    ~ScopedLogSink() { SetLogSink(nullptr, LogLevel::kWarning); }
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;
};

}  // namespace tavlin
