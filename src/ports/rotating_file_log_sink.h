#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "ports/log.h"

namespace tavlin {

// The log in a file that is rotated before it passes `maxBytes`: the file
// becomes FILE.1, FILE.1 becomes FILE.2, and so on up to `keep` old files;
// the oldest is dropped. Each line carries the time (UTC) after its level:
// "warning 2026-12-07T21:30:01.123Z device: ...". A file that cannot be
// opened leaves the log without it (IsOpen says so); nothing here throws.
class RotatingFileLogSink final : public LogSink {
  public:
    static constexpr std::uintmax_t kDefaultMaxBytes = 1 << 20;
    static constexpr int kDefaultKeep = 3;

    explicit RotatingFileLogSink(std::filesystem::path path,
                                 std::uintmax_t maxBytes = kDefaultMaxBytes,
                                 int keep = kDefaultKeep);
    ~RotatingFileLogSink() override;
    RotatingFileLogSink(const RotatingFileLogSink&) = delete;
    RotatingFileLogSink& operator=(const RotatingFileLogSink&) = delete;

    void Write(std::string_view line) noexcept override;
    bool IsOpen() const;

    // $XDG_STATE_HOME/tavlin/tavlin.log, else ~/.local/state/tavlin/tavlin.log;
    // empty when neither folder is known.
    static std::filesystem::path DefaultPath();

  private:
    bool Open();
    void Rotate();
    std::filesystem::path OldFile(int index) const;

    mutable std::mutex mutex_;
    std::filesystem::path path_;
    std::uintmax_t maxBytes_;
    int keep_;
    int fd_ = -1;
    std::uintmax_t size_ = 0;
};

}  // namespace tavlin
