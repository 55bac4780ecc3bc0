// The start-up of the virtual USB library that `--simulate-usb` preloads:
// with TAVLIN_VIRTUAL_USB_SCENE set, the first libusb_init plugs one
// converter in front of a virtual instrument (the built-in scene when the
// variable is empty, else the scene file it names).

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "ports/clock.h"
#include "sim/make_virtual_instrument.h"
#include "sim/usb/virtual_usb_bus.h"

extern "C" int tavlin_virtual_usb_present(void) {
    return 1;
}

extern "C" void tavlin_virtual_usb_start(void) {
    static std::once_flag started;
    std::call_once(started, [] {
        using namespace tavlin::sim;
        const char* scenePath = std::getenv(kVirtualUsbSceneVariable);
        if (scenePath == nullptr) {
            return;
        }
        // Both stay for the whole process: the program may use the bus
        // until its very end.
        auto* clock = new tavlin::SteadyClock;
        std::string error;
        VirtualInstrument* instrument = MakeVirtualInstrument(*clock, scenePath, error).release();
        if (instrument == nullptr) {
            std::fprintf(stderr, "virtual USB: %s\n", error.c_str());
            return;
        }
        // The converter carries the unit's serial number.
        ConverterSetup setup;
        setup.serial = instrument->GetScene().serial;
        VirtualUsbBus::Instance().Plug(setup, *instrument);
    });
}
