// The start-up of the virtual USB library that `--simulate-usb` preloads:
// with TAVLIN_VIRTUAL_USB_SCENE set, the first libusb_init plugs one
// converter in front of a virtual instrument (the built-in scene when the
// variable is empty, else the scene file it names).

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "ports/clock.h"
#include "sim/scene.h"
#include "sim/usb/virtual_usb_bus.h"
#include "sim/virtual_instrument.h"

extern "C" int tavlin_virtual_usb_present(void) {
    return 1;
}

extern "C" void tavlin_virtual_usb_start(void) {
    static std::once_flag started;
    std::call_once(started, [] {
        using namespace tavlin::sim;
        const char* scenePath = std::getenv("TAVLIN_VIRTUAL_USB_SCENE");
        if (scenePath == nullptr) {
            return;
        }
        Scene scene = DefaultScene();
        if (*scenePath != '\0') {
            SceneLoadResult loaded = LoadSceneFile(scenePath);
            if (!loaded.scene) {
                std::fprintf(stderr, "virtual USB: %s\n", loaded.error.c_str());
                return;
            }
            scene = *loaded.scene;
        }
        // Both stay for the whole process: the program may use the bus
        // until its very end.
        auto* clock = new tavlin::SteadyClock;
        auto* instrument = new VirtualInstrument(*clock, scene);
        ConverterSetup setup;
        setup.serial = scene.serial;  // the converter carries the unit's serial number
        VirtualUsbBus::Instance().Plug(setup, *instrument);
    });
}
