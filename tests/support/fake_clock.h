#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "ports/clock.h"

namespace tavlin::test {

// Virtual time that moves only when someone sleeps. A sleep yields for a
// moment of real time so that polling loops on other threads make progress.
class FakeClock final : public Clock {
  public:
    TimePoint Now() override { return TimePoint(std::chrono::microseconds(nowUs_.load())); }

    void SleepMs(int milliseconds) override {
        if (milliseconds > 0) {
            nowUs_ += static_cast<long long>(milliseconds) * 1000;
            totalSleptMs_ += milliseconds;
        }
        ++sleeps_;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }

    void Advance(int milliseconds) { nowUs_ += static_cast<long long>(milliseconds) * 1000; }
    long long TotalSleptMs() const { return totalSleptMs_.load(); }
    long long Sleeps() const { return sleeps_.load(); }

  private:
    std::atomic<long long> nowUs_{1'000'000};
    std::atomic<long long> totalSleptMs_{0};
    std::atomic<long long> sleeps_{0};
};

}  // namespace tavlin::test
