#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ports/progress_sink.h"

namespace tavlin::test {

// Records the dialog's life as events: "show", "hide" and each position,
// and runs a hook at each position (outside the lock, so that it may stop a
// sweep that reports to this sink).
class RecordingProgressSink final : public ProgressSink {
  public:
    void Show() override { Record("show"); }
    void SetPosition(int percent) override {
        std::unique_lock lock(mutex_);
        events_.push_back(std::to_string(percent));
        const std::function<void(int)> hook = onPosition_;
        lock.unlock();
        if (hook) {
            hook(percent);
        }
    }
    void Hide() override { Record("hide"); }
    void OnPosition(std::function<void(int)> hook) {
        std::lock_guard lock(mutex_);
        onPosition_ = std::move(hook);
    }

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
    std::function<void(int)> onPosition_;
};

}  // namespace tavlin::test
