#include "sim/usb/converter_baud.h"

namespace tavlin::sim {

namespace {

constexpr long long kClassicClockHz = 3'000'000;  // 48 MHz / 16, on both chips
constexpr long long kHighClockHz = 12'000'000;    // 120 MHz / 10, only on the FT2232H
constexpr std::uint32_t kHighClockBit = 1u << 17;
constexpr std::uint32_t kDivisorBits = 0x1FFFF;  // 14 integer bits and a 3-bit fraction code
// The eighths each fraction code adds to the divisor's integer part.
constexpr int kFractionEighths[8] = {0, 4, 2, 1, 3, 5, 6, 7};

int RateOf(std::uint32_t divisor, long long clockHz) {
    // Two reserved divisors: 0 runs at the clock itself, 1 at two thirds of
    // the 3 MHz clock.
    if (divisor == 0) {
        return static_cast<int>(clockHz);
    }
    if (divisor == 1 && clockHz == kClassicClockHz) {
        return static_cast<int>(clockHz * 2 / 3);
    }
    const long long eighths = (divisor & 0x3FFF) * 8 + kFractionEighths[(divisor >> 14) & 7];
    if (eighths < 8) {
        return static_cast<int>(clockHz);  // the UART cannot run faster than its clock
    }
    return static_cast<int>((8 * clockHz + eighths / 2) / eighths);
}

}  // namespace

std::optional<ConverterBaud> DecodeBaudRequest(std::uint16_t value, std::uint16_t index,
                                               ConverterChip chip, UnnamedChannelBaud unnamed) {
    ConverterBaud baud;
    switch (index & 0xFF) {
        case 1:
            baud.interfaceNumber = 0;
            break;
        case 2:
            baud.interfaceNumber = 1;
            break;
        case 0:
            if (chip == ConverterChip::kFt2232C && unnamed == UnnamedChannelBaud::kSetsChannelA) {
                baud.interfaceNumber = 0;
                break;
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
    // The divisor's bits above the value word travel in the index's high byte.
    const std::uint32_t encoded = value | ((static_cast<std::uint32_t>(index) & 0xFF00) << 8);
    const bool highClock = chip == ConverterChip::kFt2232H && (encoded & kHighClockBit) != 0;
    baud.rate = RateOf(encoded & kDivisorBits, highClock ? kHighClockHz : kClassicClockHz);
    return baud;
}

}  // namespace tavlin::sim
