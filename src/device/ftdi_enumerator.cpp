#include "device/ftdi_enumerator.h"

#include <ftdi.h>
#include <libusb.h>

#include <array>
#include <memory>
#include <string>

namespace tavlin {

namespace {

constexpr int kVendorId = 0x0403;
constexpr int kProductId = 0x6010;
constexpr int kInterfaces = 2;
constexpr char kInterfaceLetters[kInterfaces] = {'A', 'B'};
constexpr int kStringBytes = 128;
constexpr int kNoSerialNumber = -9;  // ftdi_usb_get_strings: the serial could not be read

struct ContextDeleter {
    void operator()(ftdi_context* context) const { ftdi_free(context); }
};

struct ListDeleter {
    void operator()(ftdi_device_list* list) const { ftdi_list_free(&list); }
};

struct DeviceStrings {
    std::string product;
    std::string serial;
};

// A converter without a readable serial number still has a product string.
DeviceStrings ReadStrings(ftdi_context* context, libusb_device* device) {
    std::array<char, kStringBytes> product{};
    std::array<char, kStringBytes> serial{};
    int result = ftdi_usb_get_strings(context, device, nullptr, 0, product.data(), kStringBytes,
                                      serial.data(), kStringBytes);
    if (result == kNoSerialNumber) {
        serial.fill(0);
        result = ftdi_usb_get_strings(context, device, nullptr, 0, product.data(), kStringBytes,
                                      nullptr, 0);
    }
    if (result != 0) {
        return {};  // no access (no udev rule) or the device went away
    }
    product.back() = 0;
    serial.back() = 0;
    return {product.data(), serial.data()};
}

// Whether another program holds the interface. usbfs lets a second handle
// ask: a claim is refused as busy while someone else has it. An interface
// bound to the kernel's serial driver is free to us (opening detaches it).
// Without access to the device nothing can be told, and it counts as free.
std::array<bool, kInterfaces> ProbeHeld(libusb_device* device) {
    std::array<bool, kInterfaces> held{};
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) != 0) {
        return held;
    }
    for (int number = 0; number < kInterfaces; ++number) {
        if (libusb_kernel_driver_active(handle, number) != 0) {
            continue;
        }
        const int claim = libusb_claim_interface(handle, number);
        if (claim == 0) {
            libusb_release_interface(handle, number);
        }
        held[number] = claim == LIBUSB_ERROR_BUSY;
    }
    libusb_close(handle);
    return held;
}

std::string WithLetter(const std::string& text, char letter, const char* separator) {
    return text.empty() ? std::string() : text + separator + letter;
}

void AddInterfaces(ftdi_context* context, libusb_device* device,
                   const FtdiEnumerator::OwnedHere& ownedHere,
                   std::vector<FtdiListEntry>& entries) {
    const DeviceStrings strings = ReadStrings(context, device);
    const auto held = ProbeHeld(device);
    for (int number = 0; number < kInterfaces; ++number) {
        FtdiListEntry entry;
        entry.where.bus = libusb_get_bus_number(device);
        entry.where.address = libusb_get_device_address(device);
        entry.where.interfaceNumber = number;
        entry.info.description = WithLetter(strings.product, kInterfaceLetters[number], " ");
        entry.info.serial = WithLetter(strings.serial, kInterfaceLetters[number], "");
        entry.info.alreadyOpen = held[number] || (ownedHere && ownedHere(entry.where));
        entries.push_back(entry);
    }
}

}  // namespace

int FtdiEnumerator::List(std::vector<FtdiListEntry>& entries, const OwnedHere& ownedHere) {
    entries.clear();
    // Without a USB subsystem libusb cannot start: that is simply no device.
    std::unique_ptr<ftdi_context, ContextDeleter> context(ftdi_new());
    if (!context) {
        return kUsbOk;
    }
    ftdi_device_list* found = nullptr;
    const int count = ftdi_usb_find_all(context.get(), &found, kVendorId, kProductId);
    std::unique_ptr<ftdi_device_list, ListDeleter> list(found);
    if (count < 0) {
        return kUsbIoError;
    }
    for (ftdi_device_list* item = found; item != nullptr; item = item->next) {
        AddInterfaces(context.get(), item->dev, ownedHere, entries);
    }
    return kUsbOk;
}

}  // namespace tavlin
