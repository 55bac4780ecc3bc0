#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "ports/progress_sink.h"

namespace tavlin::test {

// Records the dialog's life as events: "show", "hide" and each position.
class RecordingProgressSink final : public ProgressSink {
  public:
    void Show() override { Record("show"); }
    void SetPosition(int percent) override { Record(std::to_string(percent)); }
    void Hide() override { Record("hide"); }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    void Record(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace tavlin::test
