#pragma once

#include <unistd.h>

#include <chrono>

namespace tavlin::test {

// Waits, in real time and at most `limit`, for a condition another thread
// makes true; says whether it came.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::seconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        ::usleep(200);
    }
    return true;
}

}  // namespace tavlin::test
