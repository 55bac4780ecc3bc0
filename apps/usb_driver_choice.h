#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "device/ftdi_usb_driver.h"
#include "ports/clock.h"
#include "sim/make_virtual_instrument.h"
#include "sim/usb/virtual_usb_bus.h"

namespace tavlin {

// Where the instrument comes from: the USB unit through libftdi1, the virtual
// instrument in place of the USB layer (`--simulate`), or the virtual
// instrument behind a virtual converter at the libusb level
// (`--simulate-usb`), so that every byte goes through libftdi1 and the real
// adapter as it would to a unit on the bench.
struct UsbChoice {
    enum class Source { kUsb, kVirtual, kVirtualBehindUsb };
    Source source = Source::kUsb;
    std::string scenePath;  // empty: the built-in scene
};

inline constexpr const char* kSimulateUsage =
    "  --simulate[=SCENE]      the virtual instrument instead of the USB unit\n"
    "  --simulate-usb[=SCENE]  the virtual instrument behind a virtual USB converter,\n"
    "                          through libftdi1 and the program's real USB path\n";

// Takes `--simulate[=SCENE]` and `--simulate-usb[=SCENE]`; false for any other
// argument.
inline bool ParseSimulateOption(const std::string& arg, UsbChoice& choice) {
    for (const auto& [name, source] :
         {std::pair{std::string("--simulate"), UsbChoice::Source::kVirtual},
          std::pair{std::string("--simulate-usb"), UsbChoice::Source::kVirtualBehindUsb}}) {
        if (arg == name || arg.rfind(name + "=", 0) == 0) {
            choice.source = source;
            choice.scenePath = arg.size() > name.size() ? arg.substr(name.size() + 1) : "";
            return true;
        }
    }
    return false;
}

inline constexpr const char* kVirtualUsbLibrary = "libtavlin-virtual-usb.so";

// The library lives beside the program in the build tree, in the program's
// library folder once installed.
inline std::filesystem::path FindVirtualUsbLibrary() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    for (const auto& candidate : {program.parent_path() / kVirtualUsbLibrary,
                                  program.parent_path() / "../lib/tavlin" / kVirtualUsbLibrary}) {
        if (std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return {};
}

// libftdi1 finds libusb's functions through the dynamic linker, so the virtual
// converter's libusb must be loaded before the system's: the program starts
// itself again with the library preloaded. True once it is in place; on
// failure the reason goes to standard error.
inline bool StartWithVirtualUsb(const std::string& scenePath, char** argv,
                                const char* programName) {
    if (dlsym(RTLD_DEFAULT, "tavlin_virtual_usb_present") != nullptr) {
        return true;
    }
    if (std::getenv(sim::kVirtualUsbSceneVariable) != nullptr) {
        std::cerr << programName << ": the virtual USB library did not load\n";
        return false;  // started again already: do not loop
    }
    const std::filesystem::path library = FindVirtualUsbLibrary();
    if (library.empty()) {
        std::cerr << programName << ": " << kVirtualUsbLibrary << " is not beside the program\n";
        return false;
    }
    const char* preloaded = std::getenv("LD_PRELOAD");
    std::string preload = library.string();
    if (preloaded != nullptr && *preloaded != '\0') {
        preload += std::string(":") + preloaded;
    }
    setenv(sim::kVirtualUsbSceneVariable, scenePath.c_str(), 1);
    setenv("LD_PRELOAD", preload.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::cerr << programName
              << ": cannot start again with the virtual USB library: " << std::strerror(errno)
              << "\n";
    return false;
}

// The USB layer the choice asks for. A scene that cannot be loaded, or a
// virtual converter that cannot be put in place, is reported on standard
// error under the program's name and gives nothing.
inline std::unique_ptr<UsbDriver> MakeUsbDriver(const UsbChoice& choice, Clock& clock, char** argv,
                                                const char* programName) {
    switch (choice.source) {
        case UsbChoice::Source::kUsb:
            return std::make_unique<FtdiUsbDriver>();
        case UsbChoice::Source::kVirtualBehindUsb:
            if (!StartWithVirtualUsb(choice.scenePath, argv, programName)) {
                return nullptr;
            }
            return std::make_unique<FtdiUsbDriver>();
        case UsbChoice::Source::kVirtual:
            break;
    }
    std::string error;
    std::unique_ptr<UsbDriver> unit = sim::MakeVirtualInstrument(clock, choice.scenePath, error);
    if (!unit) {
        std::cerr << programName << ": " << error << "\n";
    }
    return unit;
}

}  // namespace tavlin
