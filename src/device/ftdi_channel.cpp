#include "device/ftdi_channel.h"

#include <ftdi.h>
#include <libusb.h>

#include <climits>
#include <system_error>

#include "device/ftdi_baud_request.h"

namespace tavlin {

namespace {

constexpr int kVendorId = 0x0403;
constexpr int kProductId = 0x6010;
// A vendor request to the device, host to device (libftdi's macro for it mixes
// two enumerations, which C++20 frowns upon).
constexpr std::uint8_t kVendorRequestOut = 0x40;
// ftdi_usb_open_dev: everything was done but the chip refused the 9600 Bd request.
constexpr int kOpenBaudRequestFailed = -7;
constexpr std::uint16_t kClassicChipRelease = 0x0500;  // bcdDevice of an FT2232C/D
constexpr int kFullSpeedPacketBytes = 64;
constexpr std::chrono::milliseconds kTaskMargin{1000};
constexpr unsigned char kLatencyTimerMs = 2;

struct ContextDeleter {
    void operator()(ftdi_context* context) const {
        if (context->usb_dev != nullptr) {
            ftdi_usb_close(context);
        }
        ftdi_free(context);
    }
};
using ContextPtr = std::unique_ptr<ftdi_context, ContextDeleter>;

// The bus address may have been given to another device since the list was
// made; make sure this is still the instrument's converter.
bool IsDualChannelConverter(ftdi_context* context) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(libusb_get_device(context->usb_dev), &descriptor) != 0) {
        return false;
    }
    return descriptor.idVendor == kVendorId && descriptor.idProduct == kProductId;
}

struct DeviceReference {
    void operator()(libusb_device* device) const { libusb_unref_device(device); }
};
using DevicePtr = std::unique_ptr<libusb_device, DeviceReference>;

DevicePtr FindDevice(libusb_context* usb, const FtdiLocation& where) {
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(usb, &devices);
    DevicePtr found;
    for (ssize_t i = 0; i < count && !found; ++i) {
        if (libusb_get_bus_number(devices[i]) == where.bus &&
            libusb_get_device_address(devices[i]) == where.address) {
            found.reset(libusb_ref_device(devices[i]));
        }
    }
    if (count >= 0) {
        libusb_free_device_list(devices, 1);
    }
    return found;
}

// libftdi 1.5 sends its power-on 9600 Bd request to an FT2232C/D without the
// channel number, and a chip that stalls it makes libftdi give up the whole
// open. The same steps by hand, without that request: the device link sets
// the channel's rate itself right after.
bool OpenClassicChipWithoutBaudRequest(ftdi_context* context, const FtdiLocation& where) {
    const DevicePtr device = FindDevice(context->usb_ctx, where);
    libusb_device_descriptor descriptor{};
    if (!device || libusb_get_device_descriptor(device.get(), &descriptor) != 0 ||
        descriptor.bcdDevice != kClassicChipRelease) {
        return false;
    }
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device.get(), &handle) != 0) {
        return false;
    }
    if (libusb_kernel_driver_active(handle, context->interface) == 1) {
        libusb_detach_kernel_driver(handle, context->interface);
    }
    if (libusb_claim_interface(handle, context->interface) != 0) {
        libusb_close(handle);
        return false;
    }
    ftdi_set_usbdev(context, handle);
    context->type = TYPE_2232C;
    context->max_packet_size = kFullSpeedPacketBytes;
    if (ftdi_usb_reset(context) != 0) {
        ftdi_usb_close(context);
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<FtdiChannel> FtdiChannel::Open(const FtdiLocation& where, const UsbDeviceInfo& info,
                                               int& status) {
    ContextPtr context(ftdi_new());
    if (!context) {
        status = kUsbOtherError;
        return nullptr;
    }
    // The interface must be chosen before the open: afterwards it is refused.
    const auto interface = where.interfaceNumber == 0 ? INTERFACE_A : INTERFACE_B;
    if (ftdi_set_interface(context.get(), interface) != 0) {
        status = kUsbOtherError;
        return nullptr;
    }
    // By bus address, so that each interface gets a session of its own and
    // the second does not borrow the first one's device.
    const int opened = ftdi_usb_open_bus_addr(context.get(), where.bus, where.address);
    if (opened != 0 && !(opened == kOpenBaudRequestFailed &&
                         OpenClassicChipWithoutBaudRequest(context.get(), where))) {
        status = kUsbDeviceNotOpened;
        return nullptr;
    }
    if (!IsDualChannelConverter(context.get())) {
        status = kUsbDeviceNotFound;
        return nullptr;
    }
    context->usb_write_timeout = kDefaultTimeoutMs;
    // The chip sends a part-filled packet when its latency timer expires (16 ms
    // at power-on): a short reply or the tail of a capture would wait that
    // long. A full stream fills its packets long before; a chip that refuses
    // keeps its default, which costs time only.
    ftdi_set_latency_timer(context.get(), kLatencyTimerMs);

    std::unique_ptr<FtdiChannel> channel(new FtdiChannel(context.get(), where, info));
    context.release();  // the channel owns it now
    try {
        channel->reader_.Start();
    } catch (const std::system_error&) {
        status = kUsbOtherError;
        return nullptr;
    }
    status = kUsbOk;
    return channel;
}

FtdiChannel::FtdiChannel(ftdi_context* context, const FtdiLocation& where,
                         const UsbDeviceInfo& info)
    : where_(where), info_(info), context_(context), reader_(context, contextMutex_) {}

FtdiChannel::~FtdiChannel() {
    Close();
}

void FtdiChannel::Close() {
    reader_.Stop();
    std::lock_guard lock(contextMutex_);
    if (context_ != nullptr) {
        ContextDeleter()(context_);
        context_ = nullptr;
    }
}

int FtdiChannel::SetBaudRate(int rate) {
    std::lock_guard lock(contextMutex_);
    if (context_ == nullptr || reader_.DeviceGone()) {
        return kUsbIoError;
    }
    if (context_->type == TYPE_2232C) {
        return SendClassicBaudRequest(rate);
    }
    return ftdi_set_baudrate(context_, rate) == 0 ? kUsbOk : kUsbIoError;
}

// The FT2232C/D wants the channel number in the index word, which libftdi 1.5
// does not send for that chip: a chip that accepts libftdi's request sets
// channel A's rate instead, one that refuses it sets none. So on that chip the
// request is always ours, as the kernel's serial driver sends it.
int FtdiChannel::SendClassicBaudRequest(int rate) {
    const auto request = FtdiBaudRequest::ForClassicChip(rate, context_->index);
    if (!request) {
        return kUsbOtherError;
    }
    const int sent = libusb_control_transfer(
        context_->usb_dev, kVendorRequestOut, SIO_SET_BAUDRATE_REQUEST, request->value,
        request->index, nullptr, 0, static_cast<unsigned>(context_->usb_write_timeout));
    if (sent < 0) {
        return kUsbIoError;
    }
    context_->baudrate = rate;
    return kUsbOk;
}

int FtdiChannel::SetTimeouts(int readMs, int writeMs) {
    // The vendor's "0 = wait forever" is not offered: every wait ends.
    if (readMs <= 0 || writeMs <= 0) {
        return kUsbOtherError;
    }
    std::lock_guard lock(contextMutex_);
    if (context_ == nullptr) {
        return kUsbInvalidHandle;
    }
    readTimeoutMs_ = readMs;
    writeTimeoutMs_ = writeMs;
    context_->usb_write_timeout = writeMs;
    return kUsbOk;
}

int FtdiChannel::Write(const std::uint8_t* data, std::size_t count, std::size_t& written) {
    written = 0;
    if (count > static_cast<std::size_t>(INT_MAX)) {
        return kUsbOtherError;
    }
    std::lock_guard lock(contextMutex_);
    if (context_ == nullptr || reader_.DeviceGone()) {
        return kUsbIoError;
    }
    if (count == 0) {
        return kUsbOk;
    }
    const int sent = ftdi_write_data(context_, data, static_cast<int>(count));
    if (sent < 0) {
        return kUsbIoError;
    }
    written = static_cast<std::size_t>(sent);
    return written == count ? kUsbOk : kUsbIoError;
}

// Like the vendor's read: waits for the whole count up to the read time-out
// and reports success with fewer bytes when the time-out ran out. Lost data
// (an overflow) and a vanished device are failures.
int FtdiChannel::Read(std::uint8_t* data, std::size_t count, std::size_t& got) {
    got = 0;
    const auto timeout = std::chrono::milliseconds(readTimeoutMs_.load());
    switch (reader_.Queue().Take(data, count, timeout, got)) {
        case ByteQueue::TakeResult::kComplete:
        case ByteQueue::TakeResult::kTimedOut:
            return kUsbOk;
        case ByteQueue::TakeResult::kOverflowed:
        case ByteQueue::TakeResult::kClosed:
            break;
    }
    return kUsbIoError;
}

int FtdiChannel::QueueStatus(std::size_t& waiting) {
    const ByteQueue::Level level = reader_.Queue().Inspect();
    if (level.overflowed || level.closed) {
        waiting = 0;
        return kUsbIoError;
    }
    waiting = level.size;
    return kUsbOk;
}

int FtdiChannel::Purge() {
    return reader_.Purge(TaskLimit());
}

int FtdiChannel::CyclePort() {
    return reader_.CyclePort(TaskLimit());
}

// A purge or port cycle may wait for a write in progress (which ends within
// the write time-out) before its own control request, itself bounded by it.
std::chrono::milliseconds FtdiChannel::TaskLimit() const {
    return std::chrono::milliseconds(2 * writeTimeoutMs_.load()) + kTaskMargin;
}

}  // namespace tavlin
