#include "device/ftdi_baud_request.h"

#include <algorithm>
#include <cstdlib>

namespace tavlin {

namespace {

constexpr long long kBaseClock = 3'000'000;  // 48 MHz / 16
constexpr long long kLargestDivisorEighths = 0x1FFFF;
// The chip encodes the eighths of the divisor in this order.
constexpr std::uint32_t kFractionCode[8] = {0, 3, 2, 4, 1, 5, 6, 7};

// The three fastest rates have reserved divisor codes.
bool FastRateCode(int rate, std::uint32_t& encoded, int& actual) {
    if (rate >= kBaseClock) {
        encoded = 0;
        actual = static_cast<int>(kBaseClock);
    } else if (rate >= kBaseClock * 2 / 3) {
        encoded = 1;
        actual = static_cast<int>(kBaseClock * 2 / 3);
    } else if (rate >= kBaseClock / 2) {
        encoded = 2;
        actual = static_cast<int>(kBaseClock / 2);
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::optional<FtdiBaudRequest> FtdiBaudRequest::ForClassicChip(int rate, int channelIndex) {
    if (rate <= 0 || channelIndex < 0 || channelIndex > 0xFF) {
        return std::nullopt;
    }
    std::uint32_t encoded = 0;
    int actual = 0;
    if (!FastRateCode(rate, encoded, actual)) {
        // Divisor in sixteenths, rounded to the nearest eighth.
        const long long sixteenths = 16 * kBaseClock / rate;
        const long long eighths = std::min((sixteenths + 1) / 2, kLargestDivisorEighths);
        actual = static_cast<int>((8 * kBaseClock + eighths / 2) / eighths);
        encoded = static_cast<std::uint32_t>(eighths >> 3) | (kFractionCode[eighths & 7] << 14);
    }
    if (std::llabs(static_cast<long long>(actual) - rate) * 20 > rate) {
        return std::nullopt;
    }
    FtdiBaudRequest request;
    request.value = static_cast<std::uint16_t>(encoded & 0xFFFF);
    request.index = static_cast<std::uint16_t>(((encoded >> 8) & 0xFF00) | channelIndex);
    request.actualRate = actual;
    return request;
}

}  // namespace tavlin
