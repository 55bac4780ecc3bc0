#pragma once

#include <mutex>
#include <string_view>

#include "ports/log.h"

namespace tavlin {

// The log on standard error (or another descriptor), one write per line.
// A reader that stops reading the pipe does not hold the program: a line
// waits at most kStallMs for room, and while the pipe stays full further
// lines are dropped without waiting.
class StderrLogSink final : public LogSink {
  public:
    static constexpr int kStallMs = 100;

    explicit StderrLogSink(int fd = 2) : fd_(fd) {}
    void Write(std::string_view line) noexcept override;

  private:
    std::mutex mutex_;
    int fd_;
    bool stalled_ = false;
};

}  // namespace tavlin
