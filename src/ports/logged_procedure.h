#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "base/bounded_format.h"
#include "ports/log.h"

namespace tavlin {

// A procedure's trace in the log: a line where it starts, one for each
// failure, and one where it ends, with the time it took.
class LoggedProcedure {
  public:
    LoggedProcedure(std::string_view topic, std::string_view name)
        : topic_(topic), name_(name), start_(std::chrono::steady_clock::now()) {
        LogInfo(topic_, name_ + " started");
    }
    ~LoggedProcedure() {
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start_;
        try {
            LogInfo(topic_, name_ + FormatText(" ended after %.1f s", took.count()));
        } catch (...) {
            // No memory for the line: the procedure's end goes unlogged.
        }
    }
    LoggedProcedure(const LoggedProcedure&) = delete;
    LoggedProcedure& operator=(const LoggedProcedure&) = delete;

    void Fail(std::string_view why) const {
        LogWarning(topic_, name_ + " failed: " + std::string(why));
    }

  private:
    std::string topic_;
    std::string name_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace tavlin
