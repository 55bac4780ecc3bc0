#pragma once

#include <chrono>
#include <cstdint>

namespace tavlin {

// Every wait in the core goes through a Clock, so that tests can run the
// 5 ms command pauses, 150 ms sampler waits and 2.5 s port cycles at speed.
class Clock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;
    virtual TimePoint Now() = 0;
    virtual void SleepMs(int milliseconds) = 0;
    // The calendar time, in seconds since 1970-01-01 UTC: when a sweep
    // ended, for logs and the spectrogram's time axis. Never used to wait.
    virtual double UtcSeconds();

    // Millisecond tick counter that wraps like a 32-bit system tick.
    std::uint32_t TickMs();
};

// The production clock: real time, real sleeps.
class SteadyClock final : public Clock {
  public:
    TimePoint Now() override;
    void SleepMs(int milliseconds) override;
};

}  // namespace tavlin
