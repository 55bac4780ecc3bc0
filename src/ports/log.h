#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// How much an event matters. A log set to a level keeps the events of that
// level and of the ones above it.
enum class LogLevel { kError, kWarning, kInfo, kDebug };

// Where the log's lines go, one call per event: the line without a line
// end. Called from any thread, also the sweep's: it returns soon, whatever
// the sink waits on, and never throws.
class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void Write(std::string_view line) noexcept = 0;
};

// "error", "warning", "info", "debug".
const char* LogLevelName(LogLevel level);
std::optional<LogLevel> ParseLogLevel(std::string_view name);

// "warning device: command write failed": the level first, then what
// logged it and what happened. Control characters (the line ends of a box's
// text, a client's bytes) become blanks, so one event stays one line.
std::string FormatLogLine(LogLevel level, std::string_view topic, std::string_view message);

// The program's log, set once at start by main; tests set their own. Until
// a sink is set nothing is logged. A burst of one error or warning is cut
// short and counted (LogThrottle); the counts still held when the sink
// changes go to the old sink.
void SetLogSink(LogSink* sink, LogLevel level);
void Log(LogLevel level, std::string_view topic, std::string_view message) noexcept;

inline void LogError(std::string_view topic, std::string_view message) noexcept {
    Log(LogLevel::kError, topic, message);
}
inline void LogWarning(std::string_view topic, std::string_view message) noexcept {
    Log(LogLevel::kWarning, topic, message);
}
inline void LogInfo(std::string_view topic, std::string_view message) noexcept {
    Log(LogLevel::kInfo, topic, message);
}
inline void LogDebug(std::string_view topic, std::string_view message) noexcept {
    Log(LogLevel::kDebug, topic, message);
}

}  // namespace tavlin
