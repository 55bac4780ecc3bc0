#include "sim/usb/virtual_usb_bus.h"

#include "sim/usb/virtual_converter.h"

namespace tavlin::sim {

VirtualUsbBus& VirtualUsbBus::Instance() {
    // Never destroyed: a libusb call from another thread or a static
    // destructor at exit still finds the bus.
    static VirtualUsbBus* bus = new VirtualUsbBus;
    return *bus;
}

int VirtualUsbBus::Plug(const ConverterSetup& setup, UsbDriver& backend) {
    auto converter = std::make_shared<VirtualConverter>(setup, backend);
    std::lock_guard lock(mutex_);
    converters_.push_back(std::move(converter));
    return static_cast<int>(converters_.size()) - 1;
}

void VirtualUsbBus::UnplugAll() {
    std::vector<std::shared_ptr<VirtualConverter>> pulled;
    {
        std::lock_guard lock(mutex_);
        pulled.swap(converters_);
    }
    // Devices and handles the program still holds keep their converter
    // object; it no longer reaches its backend.
    for (const auto& converter : pulled) {
        converter->Unplug();
    }
}

std::vector<ControlRequest> VirtualUsbBus::ControlRequests(int device) const {
    const auto converter = Converter(device);
    return converter ? converter->ControlRequests() : std::vector<ControlRequest>{};
}

void VirtualUsbBus::ClearControlRequests(int device) {
    if (const auto converter = Converter(device)) {
        converter->ClearControlRequests();
    }
}

int VirtualUsbBus::ChannelBaud(int device, int interfaceNumber) const {
    const auto converter = Converter(device);
    return converter ? converter->ChannelBaud(interfaceNumber) : 0;
}

bool VirtualUsbBus::SerialDriverBound(int device, int interfaceNumber) const {
    const auto converter = Converter(device);
    return converter && converter->SerialDriverBound(interfaceNumber);
}

int VirtualUsbBus::Resets(int device) const {
    const auto converter = Converter(device);
    return converter ? converter->Resets() : 0;
}

InTransferCounts VirtualUsbBus::InTransfers(int device, int interfaceNumber) const {
    const auto converter = Converter(device);
    return converter ? converter->InTransfers(interfaceNumber) : InTransferCounts{};
}

void VirtualUsbBus::HoldInPackets(int device, int interfaceNumber, bool hold) {
    if (const auto converter = Converter(device)) {
        converter->HoldInPackets(interfaceNumber, hold);
    }
}

void VirtualUsbBus::FailInTransfers(int device, int interfaceNumber, int libusbError, int count) {
    if (const auto converter = Converter(device)) {
        converter->FailInTransfers(interfaceNumber, libusbError, count);
    }
}

std::vector<std::shared_ptr<VirtualConverter>> VirtualUsbBus::Converters() const {
    std::lock_guard lock(mutex_);
    return converters_;
}

std::shared_ptr<VirtualConverter> VirtualUsbBus::Converter(int device) const {
    std::lock_guard lock(mutex_);
    if (device < 0 || device >= static_cast<int>(converters_.size())) {
        return nullptr;
    }
    return converters_[device];
}

}  // namespace tavlin::sim
