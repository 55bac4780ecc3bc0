#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ports/log.h"

namespace tavlin::test {

// Keeps the log's lines for a test to read back.
class RecordingLogSink final : public LogSink {
  public:
    void Write(std::string_view line) noexcept override {
        const std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    }
    // The lines since the last call, each ended by a line feed.
    std::string Take() {
        const std::lock_guard lock(mutex_);
        std::string text;
        for (const std::string& line : std::exchange(lines_, {})) {
            text += line + "\n";
        }
        return text;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace tavlin::test
