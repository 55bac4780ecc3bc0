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
#include "sim/virtual_instrument.h"

namespace {

// The converter carries the unit's serial number and the product name its
// channels are described by ("Tavlin A": the product, then the letter); a
// data channel the scene has held by another program is claimed elsewhere.
tavlin::sim::ConverterSetup SetupFor(tavlin::sim::VirtualInstrument& instrument) {
    tavlin::sim::ConverterSetup setup;
    setup.serial = instrument.GetScene().serial;
    setup.claimedElsewhere[0] = instrument.GetScene().faults.dataChannelAlreadyOpen;
    tavlin::UsbDeviceInfo info;
    if (instrument.DeviceInfo(0, info) == tavlin::kUsbOk && info.description.ends_with(" A")) {
        setup.product = info.description.substr(0, info.description.size() - 2);
    }
    return setup;
}

}  // namespace

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
        VirtualUsbBus::Instance().Plug(SetupFor(*instrument), *instrument);
    });
}
