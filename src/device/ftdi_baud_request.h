#pragma once

#include <cstdint>
#include <optional>

namespace tavlin {

// The two words of the converter's "set baud rate" control request. The
// older dual-channel chip (FT2232C/D) runs its UARTs from a 3 MHz base with
// eighth-step divisors; the channel the rate applies to travels in the low
// byte of the index word (1 = interface A, 2 = interface B). libftdi 1.5 leaves
// that byte out for this chip type, so on this chip we send this one instead of
// libftdi's.
struct FtdiBaudRequest {
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    int actualRate = 0;  // the rate the chip will really run at

    // Empty when the rate is not within about 5 % of one the chip can make.
    static std::optional<FtdiBaudRequest> ForClassicChip(int rate, int channelIndex);
};

}  // namespace tavlin
