#pragma once

#include <iostream>
#include <memory>
#include <string>

#include "calibration/linux_gpib_bus.h"
#include "device/usb_driver.h"
#include "sim/virtual_bench.h"
#include "sim/virtual_instrument.h"
#include "usb_driver_choice.h"

namespace tavlin {

// Where the factory procedures find their GPIB instruments: linux-gpib, or
// the virtual bench beside the virtual instrument (`--simulate` implies it).
enum class BenchChoice { kDefault, kVirtual, kGpib };

inline constexpr const char* kBenchUsage =
    "  --bench virtual|gpib    the GPIB bench of --procedure: the virtual bench beside\n"
    "                          the --simulate unit (its default), or linux-gpib\n";

// Takes "virtual" and "gpib"; false for any other word.
inline bool ParseBenchChoice(const std::string& word, BenchChoice& choice) {
    if (word == "virtual" || word == "gpib") {
        choice = word == "virtual" ? BenchChoice::kVirtual : BenchChoice::kGpib;
        return true;
    }
    return false;
}

// The bench the choice asks for. The virtual bench is wired to the virtual
// unit itself, so it needs `--simulate`; without it nothing is made and the
// reason goes to standard error.
inline std::unique_ptr<GpibBus> MakeGpibBus(BenchChoice choice, const UsbChoice& usb,
                                            UsbDriver& driver, const char* programName) {
    const bool simulated = usb.source == UsbChoice::Source::kVirtual;
    if (choice == BenchChoice::kGpib || (choice == BenchChoice::kDefault && !simulated)) {
        return std::make_unique<LinuxGpibBus>();
    }
    auto* unit = dynamic_cast<sim::VirtualInstrument*>(&driver);
    if (!simulated || unit == nullptr) {
        std::cerr << programName << ": the virtual bench needs --simulate\n";
        return nullptr;
    }
    return std::make_unique<sim::VirtualBench>(*unit);
}

}  // namespace tavlin
