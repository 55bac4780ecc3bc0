#pragma once

#include <cstdint>
#include <optional>

#include "sim/usb/virtual_usb_bus.h"

namespace tavlin::sim {

// What a "set baud rate" request makes of one of the converter's UARTs.
struct ConverterBaud {
    int interfaceNumber = 0;  // 0 = A, 1 = B
    int rate = 0;             // what the UART really runs at, in baud
};

// Decodes the value and index words of a SIO_SET_BAUDRATE request the way
// `chip` does. Empty when the chip stalls the request (it names no channel
// the chip has).
std::optional<ConverterBaud> DecodeBaudRequest(std::uint16_t value, std::uint16_t index,
                                               ConverterChip chip, UnnamedChannelBaud unnamed);

}  // namespace tavlin::sim
