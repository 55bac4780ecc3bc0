#pragma once

#include <iostream>
#include <memory>
#include <string>

#include "device/ftdi_usb_driver.h"
#include "ports/clock.h"
#include "sim/make_virtual_instrument.h"

namespace tavlin {

// The USB instrument through libftdi1, or the virtual one with the scene
// given (empty: the built-in scene). A scene that cannot be loaded is
// reported on standard error under the program's name and gives nothing.
inline std::unique_ptr<UsbDriver> MakeUsbDriver(bool simulate, const std::string& scenePath,
                                                Clock& clock, const char* programName) {
    if (!simulate) {
        return std::make_unique<FtdiUsbDriver>();
    }
    std::string error;
    std::unique_ptr<UsbDriver> unit = sim::MakeVirtualInstrument(clock, scenePath, error);
    if (!unit) {
        std::cerr << programName << ": " << error << "\n";
    }
    return unit;
}

}  // namespace tavlin
