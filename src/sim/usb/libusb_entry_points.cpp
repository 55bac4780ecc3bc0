// The libusb-1.0 calls libftdi1 and our adapter make, answered from the
// virtual USB bus. Linked into an executable (or preloaded), these
// definitions come first in the global scope, so libftdi1's own libusb
// imports bind to them. Asynchronous transfers are bulk ones only, served by
// the virtual host controller.

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "sim/usb/virtual_converter.h"
#include "sim/usb/virtual_host_controller.h"
#include "sim/usb/virtual_usb_bus.h"

using tavlin::sim::VirtualConverter;
using tavlin::sim::VirtualHostController;
using tavlin::sim::VirtualUsbBus;

struct libusb_context {
    int unused = 0;
};

// A device as a list shows it: counted references, as in libusb. Each list
// makes new ones; what a device is lives in its converter.
struct libusb_device {
    std::shared_ptr<VirtualConverter> converter;
    libusb_context* context = nullptr;  // the one it was listed in
    std::atomic<int> references{1};
};

struct libusb_device_handle {
    libusb_device* device = nullptr;  // one reference held by the handle
    int number = 0;                   // the converter's name for this handle
    std::atomic<bool> autoDetach{false};
};

// Defined by the preloaded library only: plugs its converter in at the first
// libusb_init.
extern "C" __attribute__((weak)) void tavlin_virtual_usb_start(void);

namespace {

constexpr int kConfigurationValue = 1;

// The configuration descriptor and everything it points to, freed as one.
struct ConfigurationBlock {
    libusb_config_descriptor configuration{};
    libusb_interface interfaces[VirtualConverter::kInterfaces]{};
    libusb_interface_descriptor settings[VirtualConverter::kInterfaces]{};
    libusb_endpoint_descriptor endpoints[VirtualConverter::kInterfaces][2]{};
};

libusb_endpoint_descriptor Endpoint(std::uint8_t address, int packetSize) {
    libusb_endpoint_descriptor endpoint{};
    endpoint.bLength = LIBUSB_DT_ENDPOINT_SIZE;
    endpoint.bDescriptorType = LIBUSB_DT_ENDPOINT;
    endpoint.bEndpointAddress = address;
    endpoint.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoint.wMaxPacketSize = static_cast<std::uint16_t>(packetSize);
    return endpoint;
}

ConfigurationBlock* NewConfiguration(const VirtualConverter& converter) {
    auto* block = new (std::nothrow) ConfigurationBlock;
    if (block == nullptr) {
        return nullptr;
    }
    static constexpr std::uint8_t kEndpoints[VirtualConverter::kInterfaces][2] = {{0x81, 0x02},
                                                                                  {0x83, 0x04}};
    for (int number = 0; number < VirtualConverter::kInterfaces; ++number) {
        for (int e = 0; e < 2; ++e) {
            block->endpoints[number][e] = Endpoint(kEndpoints[number][e], converter.PacketSize());
        }
        libusb_interface_descriptor& setting = block->settings[number];
        setting.bLength = LIBUSB_DT_INTERFACE_SIZE;
        setting.bDescriptorType = LIBUSB_DT_INTERFACE;
        setting.bInterfaceNumber = static_cast<std::uint8_t>(number);
        setting.bNumEndpoints = 2;
        setting.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
        setting.bInterfaceSubClass = 0xFF;
        setting.bInterfaceProtocol = 0xFF;
        setting.iInterface = 2;
        setting.endpoint = block->endpoints[number];
        block->interfaces[number].altsetting = &block->settings[number];
        block->interfaces[number].num_altsetting = 1;
    }
    libusb_config_descriptor& configuration = block->configuration;
    configuration.bLength = LIBUSB_DT_CONFIG_SIZE;
    configuration.bDescriptorType = LIBUSB_DT_CONFIG;
    configuration.wTotalLength =
        LIBUSB_DT_CONFIG_SIZE +
        VirtualConverter::kInterfaces * (LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE);
    configuration.bNumInterfaces = VirtualConverter::kInterfaces;
    configuration.bConfigurationValue = kConfigurationValue;
    configuration.bmAttributes = 0x80;  // bus-powered
    configuration.MaxPower = 50;        // 100 mA
    configuration.interface = block->interfaces;
    return block;
}

VirtualConverter* ConverterOf(libusb_device_handle* handle) {
    return handle != nullptr ? handle->device->converter.get() : nullptr;
}

}  // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context** context) {
    if (tavlin_virtual_usb_start != nullptr) {
        tavlin_virtual_usb_start();
    }
    if (context != nullptr) {
        *context = new (std::nothrow) libusb_context;
        if (*context == nullptr) {
            return LIBUSB_ERROR_NO_MEM;
        }
    }
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_exit(libusb_context* context) {
    delete context;  // the default context (null) has nothing to free
}

ssize_t LIBUSB_CALL libusb_get_device_list(libusb_context* context, libusb_device*** list) {
    if (list == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    auto converters = VirtualUsbBus::Instance().Converters();
    std::erase_if(converters, [](const auto& converter) { return !converter->OnBus(); });
    auto* devices = new (std::nothrow) libusb_device*[converters.size() + 1];
    if (devices == nullptr) {
        return LIBUSB_ERROR_NO_MEM;
    }
    for (std::size_t i = 0; i < converters.size(); ++i) {
        devices[i] = new libusb_device;
        devices[i]->converter = converters[i];
        devices[i]->context = context;
    }
    devices[converters.size()] = nullptr;
    *list = devices;
    return static_cast<ssize_t>(converters.size());
}

void LIBUSB_CALL libusb_free_device_list(libusb_device** list, int unref_devices) {
    if (list == nullptr) {
        return;
    }
    if (unref_devices != 0) {
        for (libusb_device** device = list; *device != nullptr; ++device) {
            libusb_unref_device(*device);
        }
    }
    delete[] list;
}

libusb_device* LIBUSB_CALL libusb_ref_device(libusb_device* dev) {
    if (dev != nullptr) {
        dev->references.fetch_add(1, std::memory_order_relaxed);
    }
    return dev;
}

void LIBUSB_CALL libusb_unref_device(libusb_device* dev) {
    if (dev != nullptr && dev->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete dev;
    }
}

int LIBUSB_CALL libusb_get_device_descriptor(libusb_device* dev,
                                             struct libusb_device_descriptor* desc) {
    if (dev == nullptr || desc == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    const VirtualConverter& converter = *dev->converter;
    *desc = libusb_device_descriptor{};
    desc->bLength = LIBUSB_DT_DEVICE_SIZE;
    desc->bDescriptorType = LIBUSB_DT_DEVICE;
    desc->bcdUSB = 0x0200;
    desc->bMaxPacketSize0 = 64;
    desc->idVendor = 0x0403;
    desc->idProduct = 0x6010;
    desc->bcdDevice = converter.DeviceRelease();
    desc->iManufacturer = 1;
    desc->iProduct = 2;
    desc->iSerialNumber = converter.Setup().serial.empty() ? 0 : 3;
    desc->bNumConfigurations = 1;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_config_descriptor(libusb_device* dev, uint8_t config_index,
                                             struct libusb_config_descriptor** config) {
    if (dev == nullptr || config == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    if (config_index != 0) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    ConfigurationBlock* block = NewConfiguration(*dev->converter);
    if (block == nullptr) {
        return LIBUSB_ERROR_NO_MEM;
    }
    *config = &block->configuration;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_free_config_descriptor(struct libusb_config_descriptor* config) {
    // The descriptor is the block's first member, so its address is the block's.
    delete reinterpret_cast<ConfigurationBlock*>(config);
}

uint8_t LIBUSB_CALL libusb_get_bus_number(libusb_device* dev) {
    return dev != nullptr ? dev->converter->Setup().bus : 0;
}

uint8_t LIBUSB_CALL libusb_get_device_address(libusb_device* dev) {
    return dev != nullptr ? dev->converter->Setup().address : 0;
}

int LIBUSB_CALL libusb_open(libusb_device* dev, libusb_device_handle** dev_handle) {
    if (dev == nullptr || dev_handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    int number = 0;
    if (const int status = dev->converter->Open(number); status != 0) {
        return status;
    }
    auto* handle = new (std::nothrow) libusb_device_handle;
    if (handle == nullptr) {
        dev->converter->Close(number);
        return LIBUSB_ERROR_NO_MEM;
    }
    handle->device = libusb_ref_device(dev);
    handle->number = number;
    *dev_handle = handle;
    return LIBUSB_SUCCESS;
}

void LIBUSB_CALL libusb_close(libusb_device_handle* dev_handle) {
    if (dev_handle == nullptr) {
        return;
    }
    dev_handle->device->converter->Close(dev_handle->number);
    libusb_unref_device(dev_handle->device);
    delete dev_handle;
}

libusb_device* LIBUSB_CALL libusb_get_device(libusb_device_handle* dev_handle) {
    return dev_handle != nullptr ? dev_handle->device : nullptr;
}

int LIBUSB_CALL libusb_get_configuration(libusb_device_handle* dev, int* config) {
    if (dev == nullptr || config == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    *config = kConfigurationValue;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_set_configuration(libusb_device_handle* dev_handle, int configuration) {
    if (dev_handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return configuration == kConfigurationValue ? LIBUSB_SUCCESS : LIBUSB_ERROR_NOT_FOUND;
}

int LIBUSB_CALL libusb_claim_interface(libusb_device_handle* dev_handle, int interface_number) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    if (converter == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return converter->Claim(dev_handle->number, interface_number, dev_handle->autoDetach.load());
}

int LIBUSB_CALL libusb_release_interface(libusb_device_handle* dev_handle, int interface_number) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    if (converter == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return converter->Release(dev_handle->number, interface_number);
}

int LIBUSB_CALL libusb_reset_device(libusb_device_handle* dev_handle) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    return converter != nullptr ? converter->Reset() : LIBUSB_ERROR_INVALID_PARAM;
}

int LIBUSB_CALL libusb_kernel_driver_active(libusb_device_handle* dev_handle,
                                            int interface_number) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    return converter != nullptr ? converter->KernelDriverActive(interface_number)
                                : LIBUSB_ERROR_INVALID_PARAM;
}

int LIBUSB_CALL libusb_detach_kernel_driver(libusb_device_handle* dev_handle,
                                            int interface_number) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    return converter != nullptr ? converter->DetachKernelDriver(interface_number)
                                : LIBUSB_ERROR_INVALID_PARAM;
}

int LIBUSB_CALL libusb_set_auto_detach_kernel_driver(libusb_device_handle* dev_handle, int enable) {
    if (dev_handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    dev_handle->autoDetach = enable != 0;
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_get_string_descriptor_ascii(libusb_device_handle* dev_handle,
                                                   uint8_t desc_index, unsigned char* data,
                                                   int length) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    if (converter == nullptr || desc_index == 0 || data == nullptr || length <= 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    // Asked for a string it does not have, the device stalls the request.
    std::string text;
    if (!converter->StringDescriptor(desc_index, text)) {
        return LIBUSB_ERROR_PIPE;
    }
    // Like libusb: at most length - 1 characters and a terminating zero.
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(length - 1));
    std::memcpy(data, text.data(), count);
    data[count] = '\0';
    return static_cast<int>(count);
}

int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* dev_handle, uint8_t request_type,
                                        uint8_t bRequest, uint16_t wValue, uint16_t wIndex,
                                        unsigned char* data, uint16_t wLength,
                                        unsigned int /*timeout*/) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    if (converter == nullptr || (wLength > 0 && data == nullptr)) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    return converter->Control(request_type, bRequest, wValue, wIndex, data, wLength);
}

int LIBUSB_CALL libusb_bulk_transfer(libusb_device_handle* dev_handle, unsigned char endpoint,
                                     unsigned char* data, int length, int* actual_length,
                                     unsigned int timeout) {
    VirtualConverter* converter = ConverterOf(dev_handle);
    if (converter == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    int transferred = 0;
    const int status =
        (endpoint & LIBUSB_ENDPOINT_IN) != 0
            ? converter->BulkIn(dev_handle->number, endpoint, data, length, transferred, timeout)
            : converter->BulkOut(dev_handle->number, endpoint, data, length, transferred);
    if (actual_length != nullptr) {
        *actual_length = transferred;
    }
    return status;
}

struct libusb_transfer* LIBUSB_CALL libusb_alloc_transfer(int iso_packets) {
    if (iso_packets < 0) {
        return nullptr;
    }
    const std::size_t bytes = sizeof(libusb_transfer) + static_cast<std::size_t>(iso_packets) *
                                                            sizeof(libusb_iso_packet_descriptor);
    return static_cast<libusb_transfer*>(std::calloc(1, bytes));
}

int LIBUSB_CALL libusb_submit_transfer(struct libusb_transfer* transfer) {
    if (transfer == nullptr || transfer->dev_handle == nullptr) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    libusb_device_handle* handle = transfer->dev_handle;
    return VirtualHostController::Instance().Submit(transfer, handle->device->converter,
                                                    handle->number, handle->device->context);
}

int LIBUSB_CALL libusb_cancel_transfer(struct libusb_transfer* transfer) {
    return VirtualHostController::Instance().Cancel(transfer);
}

void LIBUSB_CALL libusb_free_transfer(struct libusb_transfer* transfer) {
    if (transfer == nullptr) {
        return;
    }
    VirtualHostController::Instance().Forget(transfer);
    if ((transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER) != 0) {
        std::free(transfer->buffer);
    }
    std::free(transfer);
}

int LIBUSB_CALL libusb_handle_events_timeout_completed(libusb_context* ctx, struct timeval* tv,
                                                       int* completed) {
    const auto timeout =
        tv != nullptr ? std::chrono::seconds(tv->tv_sec) + std::chrono::microseconds(tv->tv_usec)
                      : std::chrono::microseconds(0);
    VirtualHostController::Instance().HandleEvents(ctx, timeout, completed);
    return LIBUSB_SUCCESS;
}

int LIBUSB_CALL libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv) {
    return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

}  // extern "C"
