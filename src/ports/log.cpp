#include "ports/log.h"

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "ports/log_throttle.h"

namespace tavlin {

namespace {

constexpr std::array<const char*, 4> kLevelNames = {"error", "warning", "info", "debug"};

std::atomic<LogSink*> logSink{nullptr};
std::atomic<int> logLevel{static_cast<int>(LogLevel::kWarning)};
std::mutex throttleMutex;
LogThrottle throttle;  // under throttleMutex

void WriteAll(LogSink& sink, const std::vector<std::string>& lines) noexcept {
    for (const std::string& line : lines) {
        sink.Write(line);
    }
}

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

}  // namespace

const char* LogLevelName(LogLevel level) {
    return kLevelNames[static_cast<std::size_t>(level)];
}

std::optional<LogLevel> ParseLogLevel(std::string_view name) {
    for (std::size_t i = 0; i < kLevelNames.size(); ++i) {
        if (name == kLevelNames[i]) {
            return static_cast<LogLevel>(i);
        }
    }
    return std::nullopt;
}

std::string FormatLogLine(LogLevel level, std::string_view topic, std::string_view message) {
    std::string line = LogLevelName(level);
    line.append(" ").append(topic).append(": ").append(message);
    for (char& c : line) {
        c = IsControl(c) ? ' ' : c;
    }
    return line;
}

// The counts still held go to the sink that saw their first lines.
void SetLogSink(LogSink* sink, LogLevel level) {
    std::vector<std::string> held;
    {
        const std::lock_guard lock(throttleMutex);
        held = throttle.TakeSummaries(std::chrono::steady_clock::now(), true);
    }
    if (LogSink* previous = logSink.load()) {
        WriteAll(*previous, held);
    }
    logLevel = static_cast<int>(level);
    logSink = sink;
}

void Log(LogLevel level, std::string_view topic, std::string_view message) noexcept {
    LogSink* sink = logSink.load();
    if (sink == nullptr || static_cast<int>(level) > logLevel.load()) {
        return;
    }
    try {
        std::vector<std::string> ended;
        bool admitted = false;
        {
            const std::lock_guard lock(throttleMutex);
            const auto now = std::chrono::steady_clock::now();
            ended = throttle.TakeSummaries(now);
            admitted = throttle.Admit(level, topic, now);
        }
        WriteAll(*sink, ended);
        if (admitted) {
            sink->Write(FormatLogLine(level, topic, message));
        }
    } catch (...) {
        // Out of memory for one line: the event goes unlogged, the caller on.
    }
}

}  // namespace tavlin
