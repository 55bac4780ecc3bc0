#include "ports/clock.h"

#include <thread>

namespace tavlin {

std::uint32_t Clock::TickMs() {
    const auto sinceEpoch = Now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    return static_cast<std::uint32_t>(ms);
}

double Clock::UtcSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Clock::TimePoint SteadyClock::Now() {
    return std::chrono::steady_clock::now();
}

void SteadyClock::SleepMs(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

}  // namespace tavlin
