#include "sim/usb/virtual_converter.h"

#include <libusb.h>

#include <algorithm>
#include <thread>

#include "sim/usb/converter_baud.h"

namespace tavlin::sim {

namespace {

// The chip's vendor requests.
constexpr std::uint8_t kResetRequest = 0x00;
constexpr std::uint8_t kModemControlRequest = 0x01;
constexpr std::uint8_t kFlowControlRequest = 0x02;
constexpr std::uint8_t kBaudRateRequest = 0x03;
constexpr std::uint8_t kDataFormatRequest = 0x04;
constexpr std::uint8_t kPollModemStatusRequest = 0x05;
constexpr std::uint8_t kEventCharRequest = 0x06;
constexpr std::uint8_t kErrorCharRequest = 0x07;
constexpr std::uint8_t kSetLatencyRequest = 0x09;
constexpr std::uint8_t kGetLatencyRequest = 0x0A;
constexpr std::uint8_t kBitModeRequest = 0x0B;

constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;

// SIO_RESET values: the whole channel, host-to-device data, device-to-host data.
constexpr std::uint16_t kResetChannel = 0;
constexpr std::uint16_t kFlushToHost = 2;

// The two modem status bytes that open every bulk-IN packet: no line events,
// transmitter empty.
constexpr std::uint8_t kModemStatus[2] = {0x01, 0x60};
// Line status bit of the second byte: received bytes were lost (overrun).
constexpr std::uint8_t kOverrunBit = 0x02;
// The FT2232H's receive buffer of one channel.
constexpr std::size_t kHighSpeedReceiveBytes = 4096;

constexpr int kBackendWriteTimeoutMs = 1000;
constexpr std::chrono::milliseconds kPollPeriod{1};

// Interface of a bulk endpoint: A is IN 0x81 / OUT 0x02, B is IN 0x83 / OUT 0x04.
int InterfaceOfEndpoint(std::uint8_t endpoint, bool in) {
    if (in) {
        return endpoint == 0x81 ? 0 : endpoint == 0x83 ? 1 : -1;
    }
    return endpoint == 0x02 ? 0 : endpoint == 0x04 ? 1 : -1;
}

}  // namespace

VirtualConverter::VirtualConverter(const ConverterSetup& setup, UsbDriver& backend)
    : setup_(setup), backend_(backend) {
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t number = 0; number < interfaces_.size(); ++number) {
        Interface& in = interfaces_[number];
        // A program that holds an interface has detached the serial driver from it.
        in.serialDriverBound = setup.serialDriverBound && !setup.claimedElsewhere[number];
        in.latencyMs = setup.latencyMs;
        in.lastPacket = now;
    }
}

int VirtualConverter::PacketSize() const {
    return setup_.chip == ConverterChip::kFt2232H ? 512 : 64;
}

std::uint16_t VirtualConverter::DeviceRelease() const {
    return setup_.chip == ConverterChip::kFt2232H ? 0x0700 : 0x0500;
}

bool VirtualConverter::StringDescriptor(int index, std::string& text) const {
    switch (index) {
        case 1:
            text = setup_.manufacturer;
            return true;
        case 2:
            text = setup_.product;
            return true;
        case 3:
            text = setup_.serial;
            return !text.empty();
        default:
            return false;
    }
}

void VirtualConverter::Unplug() {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return;
    }
    for (Interface& in : interfaces_) {
        CloseChannelLocked(in);
    }
    plugged_ = false;
}

bool VirtualConverter::OnBus() const {
    {
        std::lock_guard lock(mutex_);
        if (!plugged_) {
            return false;
        }
    }
    // A unit that lists only one of its channels is not a whole converter.
    int count = 0;
    return backend_.DeviceCount(count) == kUsbOk && count >= kInterfaces;
}

bool VirtualConverter::Plugged() const {
    std::lock_guard lock(mutex_);
    return plugged_;
}

int VirtualConverter::Open(int& handle) {
    std::lock_guard lock(mutex_);
    handle = 0;
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (!setup_.accessible) {
        return LIBUSB_ERROR_ACCESS;
    }
    handle = nextHandle_++;
    handles_.insert(handle);
    return 0;
}

void VirtualConverter::Close(int handle) {
    std::lock_guard lock(mutex_);
    if (handles_.erase(handle) == 0) {
        return;
    }
    for (int number = 0; number < kInterfaces; ++number) {
        if (interfaces_[number].claimedBy == handle) {
            FreeLocked(number);
        }
    }
}

int VirtualConverter::KernelDriverActive(int interfaceNumber) const {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (!ValidInterface(interfaceNumber)) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    // Another program's claim goes through usbfs, which libusb does not count
    // as a kernel driver.
    return interfaces_[interfaceNumber].serialDriverBound ? 1 : 0;
}

int VirtualConverter::DetachKernelDriver(int interfaceNumber) {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (!ValidInterface(interfaceNumber) || !interfaces_[interfaceNumber].serialDriverBound) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    interfaces_[interfaceNumber].serialDriverBound = false;
    return 0;
}

int VirtualConverter::Claim(int handle, int interfaceNumber, bool autoDetach) {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (!ValidInterface(interfaceNumber)) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    Interface& in = interfaces_[interfaceNumber];
    if (in.claimedBy == handle) {
        return 0;
    }
    if (in.claimedBy != 0 || setup_.claimedElsewhere[interfaceNumber]) {
        return LIBUSB_ERROR_BUSY;
    }
    if (in.serialDriverBound && !autoDetach) {
        return LIBUSB_ERROR_BUSY;
    }
    // A unit off the bus now is tried again at the next transfer; one that
    // lists the interface but will not open it refuses the claim.
    if (OpenChannelLocked(interfaceNumber) == LIBUSB_ERROR_BUSY) {
        return LIBUSB_ERROR_BUSY;
    }
    if (in.serialDriverBound) {
        in.serialDriverBound = false;
        in.autoDetached = true;
    }
    in.claimedBy = handle;
    return 0;
}

int VirtualConverter::Release(int handle, int interfaceNumber) {
    std::lock_guard lock(mutex_);
    if (!ValidInterface(interfaceNumber) || interfaces_[interfaceNumber].claimedBy != handle) {
        return LIBUSB_ERROR_NOT_FOUND;
    }
    FreeLocked(interfaceNumber);
    return plugged_ ? 0 : LIBUSB_ERROR_NO_DEVICE;
}

int VirtualConverter::Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                              std::uint16_t index, std::uint8_t* data, std::uint16_t length) {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    const int result = VendorRequestLocked(requestType, request, value, index, data, length);
    requests_.push_back({requestType, request, value, index, result == LIBUSB_ERROR_PIPE});
    return result;
}

int VirtualConverter::VendorRequestLocked(std::uint8_t requestType, std::uint8_t request,
                                          std::uint16_t value, std::uint16_t index,
                                          std::uint8_t* data, std::uint16_t length) {
    const bool in = request == kPollModemStatusRequest || request == kGetLatencyRequest;
    if (requestType != (in ? kVendorIn : kVendorOut)) {
        return LIBUSB_ERROR_PIPE;
    }
    if (request == kBaudRateRequest) {
        const auto baud = DecodeBaudRequest(value, index, setup_.chip, setup_.unnamedChannelBaud);
        if (!baud) {
            return LIBUSB_ERROR_PIPE;
        }
        Interface& channel = interfaces_[baud->interfaceNumber];
        channel.baud = baud->rate;
        if (channel.channel != kNoHandle) {
            backend_.SetBaudRate(channel.channel, baud->rate);
        }
        return 0;
    }
    const int channelIndex = index & 0xFF;
    if (channelIndex != 1 && channelIndex != 2) {
        return LIBUSB_ERROR_PIPE;
    }
    Interface& channel = interfaces_[channelIndex - 1];
    switch (request) {
        case kResetRequest:
            // Host-to-device data never waits in the chip here, so only the
            // other direction has anything to drop.
            if (value == kResetChannel || value == kFlushToHost) {
                DropReceivedLocked(channel);
            }
            return 0;
        case kSetLatencyRequest:
            if (value < 1 || value > 255) {
                return LIBUSB_ERROR_PIPE;
            }
            channel.latencyMs = value;
            return 0;
        case kModemControlRequest:
        case kFlowControlRequest:
        case kDataFormatRequest:
        case kEventCharRequest:
        case kErrorCharRequest:
        case kBitModeRequest:
            return 0;
        case kPollModemStatusRequest: {
            const int answered = std::min<int>(length, 2);
            std::copy_n(kModemStatus, answered, data);
            return answered;
        }
        case kGetLatencyRequest:
            if (length >= 1) {
                data[0] = static_cast<std::uint8_t>(channel.latencyMs);
            }
            return std::min<int>(length, 1);
        default:
            return LIBUSB_ERROR_PIPE;
    }
}

int VirtualConverter::BulkOut(int handle, std::uint8_t endpoint, const std::uint8_t* data,
                              int length, int& transferred) {
    transferred = 0;
    const int number = InterfaceOfEndpoint(endpoint, false);
    if (number < 0 || length < 0 || (length > 0 && data == nullptr)) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    if (interfaces_[number].claimedBy != handle) {
        return LIBUSB_ERROR_IO;
    }
    if (const int status = OpenChannelLocked(number); status != 0) {
        return status;
    }
    if (length == 0) {
        return 0;
    }
    std::size_t written = 0;
    const int status = backend_.Write(interfaces_[number].channel, data,
                                      static_cast<std::size_t>(length), written);
    transferred = static_cast<int>(written);
    return status == kUsbOk ? 0 : LIBUSB_ERROR_IO;
}

// The transfer polls the chip about every millisecond, with the lock taken
// only for each look. Between two such transfers the host has no buffer
// queued, so what came meanwhile waited in the chip.
int VirtualConverter::BulkIn(int handle, std::uint8_t endpoint, std::uint8_t* data, int length,
                             int& transferred, unsigned timeoutMs) {
    transferred = 0;
    if (InterfaceOfEndpoint(endpoint, true) < 0 || length < 0 || (length > 0 && data == nullptr)) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    HoldReceived(endpoint);
    const auto start = std::chrono::steady_clock::now();
    InTransfer transfer;
    transfer.data = data;
    transfer.length = length;
    for (;;) {
        const int status = StepIn(handle, endpoint, transfer);
        transferred = transfer.transferred;
        if (status != kStillWaiting) {
            return status;
        }
        if (timeoutMs != 0 &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeoutMs)) {
            return LIBUSB_ERROR_TIMEOUT;
        }
        std::this_thread::sleep_for(kPollPeriod);
    }
}

int VirtualConverter::StepIn(int handle, std::uint8_t endpoint, InTransfer& transfer) {
    const int number = InterfaceOfEndpoint(endpoint, true);
    if (number < 0 || transfer.length < 0 || (transfer.length > 0 && transfer.data == nullptr)) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    std::lock_guard lock(mutex_);
    return InStepLocked(handle, number, transfer);
}

void VirtualConverter::HoldReceived(std::uint8_t endpoint) {
    const int number = InterfaceOfEndpoint(endpoint, true);
    std::lock_guard lock(mutex_);
    if (number >= 0 && plugged_) {
        HoldReceivedLocked(interfaces_[number]);
    }
}

// Moves what the far side sent into the chip's receive buffer. A real chip
// takes the bytes as they come and drops the newest once its buffer is full;
// so here the oldest bytes are kept and the rest are lost.
void VirtualConverter::HoldReceivedLocked(Interface& in) {
    std::size_t waiting = 0;
    if (in.channel == kNoHandle || backend_.QueueStatus(in.channel, waiting) != kUsbOk ||
        waiting == 0) {
        return;
    }
    const std::size_t held = in.received.size();
    in.received.resize(held + waiting);
    std::size_t got = 0;
    backend_.Read(in.channel, in.received.data() + held, waiting, got);
    in.received.resize(held + got);
    const std::size_t holding = in.packet.size() + in.received.size();
    in.counts.largestHeld = std::max(in.counts.largestHeld, holding);
    const std::size_t room = ReceiveBufferBytes();
    if (room > 0 && holding > room) {
        const std::size_t lost = holding - room;
        in.received.resize(in.received.size() - lost);
        in.counts.lostBytes += lost;
        in.overrun = true;
    }
}

// The FT2232C/D's smaller buffer is not modelled: it never streams at the
// rate that would fill it.
std::size_t VirtualConverter::ReceiveBufferBytes() const {
    return setup_.chip == ConverterChip::kFt2232H ? kHighSpeedReceiveBytes : 0;
}

// One look at the chip: sends every packet that is due into the transfer.
int VirtualConverter::InStepLocked(int handle, int interfaceNumber, InTransfer& transfer) {
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    Interface& in = interfaces_[interfaceNumber];
    if (in.claimedBy != handle) {
        return LIBUSB_ERROR_IO;
    }
    if (const int status = OpenChannelLocked(interfaceNumber); status != 0) {
        return status;
    }
    if (!transfer.started) {
        transfer.started = true;
        if (in.failures > 0) {
            --in.failures;
            transfer.fails = true;
            transfer.failureError = in.failureError;
        }
    }
    if (in.hold) {
        // The chip refuses the host its packets, and its buffer fills meanwhile.
        HoldReceivedLocked(in);
        return transfer.fails ? transfer.failureError : kStillWaiting;
    }
    for (;;) {
        if (!FillPacketLocked(in)) {
            return LIBUSB_ERROR_IO;
        }
        const auto now = std::chrono::steady_clock::now();
        const int payload = PacketSize() - 2;
        if (transfer.fails) {
            // One packet of what the chip holds, then the failure.
            int status = transfer.failureError;
            if (!in.packet.empty()) {
                SendPacketLocked(in, transfer, now, status);
            }
            return status == LIBUSB_ERROR_OVERFLOW ? status : transfer.failureError;
        }
        const bool full = static_cast<int>(in.packet.size()) == payload;
        const bool latencyExpired = now - in.lastPacket >= std::chrono::milliseconds(in.latencyMs);
        if (!full && !latencyExpired) {
            return kStillWaiting;
        }
        int status = 0;
        if (SendPacketLocked(in, transfer, now, status)) {
            if (status == 0) {
                ++in.counts.completed;
                if (transfer.dataBytes > 0) {
                    ++in.counts.carryingData;
                    in.counts.lastDataAt = now;
                }
            }
            return status;
        }
    }
}

// Sends the packet being built. True when the transfer is over: `status` then
// says how it ended.
bool VirtualConverter::SendPacketLocked(Interface& in, InTransfer& transfer, SteadyTime now,
                                        int& status) {
    const int size = 2 + static_cast<int>(in.packet.size());
    if (size > transfer.length - transfer.transferred) {
        // The chip's packet would run past the end of the host's buffer.
        status = LIBUSB_ERROR_OVERFLOW;
        return true;
    }
    std::uint8_t* out = transfer.data + transfer.transferred;
    std::copy_n(kModemStatus, 2, out);
    if (in.overrun) {
        out[1] |= kOverrunBit;
        in.overrun = false;
    }
    std::copy(in.packet.begin(), in.packet.end(), out + 2);
    transfer.transferred += size;
    transfer.dataBytes += in.packet.size();
    in.counts.dataBytes += in.packet.size();
    in.packet.clear();
    in.lastPacket = now;
    status = 0;
    // A short packet ends the transfer, as does a full buffer.
    return size < PacketSize() || transfer.transferred == transfer.length;
}

int VirtualConverter::Reset() {
    std::lock_guard lock(mutex_);
    if (!plugged_) {
        return LIBUSB_ERROR_NO_DEVICE;
    }
    ++resets_;
    // The converter powers its far side down and up again; the backend's
    // channels are reopened when a claimed interface is next used.
    for (Interface& in : interfaces_) {
        if (in.channel != kNoHandle) {
            backend_.CyclePort(in.channel);
            break;
        }
    }
    const auto now = std::chrono::steady_clock::now();
    for (int number = 0; number < kInterfaces; ++number) {
        Interface& in = interfaces_[number];
        CloseChannelLocked(in);
        in.baud = 0;
        in.latencyMs = setup_.latencyMs;
        in.packet.clear();
        in.received.clear();
        in.overrun = false;
        in.lastPacket = now;
        if (setup_.rebindSerialDriverOnReset) {
            in.rebindWhenFree = true;
            RebindIfFreeLocked(number);
        }
    }
    return 0;
}

std::vector<ControlRequest> VirtualConverter::ControlRequests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void VirtualConverter::ClearControlRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

int VirtualConverter::ChannelBaud(int interfaceNumber) const {
    std::lock_guard lock(mutex_);
    return ValidInterface(interfaceNumber) ? interfaces_[interfaceNumber].baud : 0;
}

bool VirtualConverter::SerialDriverBound(int interfaceNumber) const {
    std::lock_guard lock(mutex_);
    return ValidInterface(interfaceNumber) && interfaces_[interfaceNumber].serialDriverBound;
}

int VirtualConverter::Resets() const {
    std::lock_guard lock(mutex_);
    return resets_;
}

InTransferCounts VirtualConverter::InTransfers(int interfaceNumber) const {
    std::lock_guard lock(mutex_);
    return ValidInterface(interfaceNumber) ? interfaces_[interfaceNumber].counts
                                           : InTransferCounts{};
}

void VirtualConverter::HoldInPackets(int interfaceNumber, bool hold) {
    std::lock_guard lock(mutex_);
    if (ValidInterface(interfaceNumber)) {
        interfaces_[interfaceNumber].hold = hold;
    }
}

void VirtualConverter::FailInTransfers(int interfaceNumber, int libusbError, int count) {
    std::lock_guard lock(mutex_);
    if (ValidInterface(interfaceNumber)) {
        interfaces_[interfaceNumber].failures = std::max(0, count);
        interfaces_[interfaceNumber].failureError = libusbError;
    }
}

bool VirtualConverter::ValidInterface(int interfaceNumber) {
    return interfaceNumber >= 0 && interfaceNumber < kInterfaces;
}

// Opens the backend's channel of a claimed interface if it is not open; the
// UART keeps the rate it was given meanwhile.
int VirtualConverter::OpenChannelLocked(int interfaceNumber) {
    Interface& in = interfaces_[interfaceNumber];
    if (in.channel != kNoHandle) {
        return 0;
    }
    int count = 0;
    UsbHandle channel = kNoHandle;
    if (backend_.DeviceCount(count) != kUsbOk || count <= interfaceNumber) {
        return LIBUSB_ERROR_IO;
    }
    if (backend_.OpenByIndex(interfaceNumber, channel) != kUsbOk) {
        return LIBUSB_ERROR_BUSY;
    }
    backend_.SetTimeouts(channel, 0, kBackendWriteTimeoutMs);  // reads never wait
    if (in.baud > 0) {
        backend_.SetBaudRate(channel, in.baud);
    }
    in.channel = channel;
    return 0;
}

void VirtualConverter::CloseChannelLocked(Interface& in) {
    if (in.channel != kNoHandle) {
        backend_.Close(in.channel);
        in.channel = kNoHandle;
    }
}

// The packet takes what the receive buffer holds first, then what the far
// side has sent since.
bool VirtualConverter::FillPacketLocked(Interface& in) {
    const std::size_t payload = static_cast<std::size_t>(PacketSize() - 2);
    const std::size_t buffered = std::min(in.received.size(), payload - in.packet.size());
    in.packet.insert(in.packet.end(), in.received.begin(), in.received.begin() + buffered);
    in.received.erase(in.received.begin(), in.received.begin() + buffered);
    std::size_t waiting = 0;
    if (backend_.QueueStatus(in.channel, waiting) != kUsbOk) {
        return false;
    }
    const std::size_t take = std::min(waiting, payload - in.packet.size());
    if (take == 0) {
        return true;
    }
    const std::size_t held = in.packet.size();
    in.packet.resize(held + take);
    std::size_t got = 0;
    const int status = backend_.Read(in.channel, in.packet.data() + held, take, got);
    in.packet.resize(held + got);
    return status == kUsbOk;
}

void VirtualConverter::DropReceivedLocked(Interface& in) {
    in.packet.clear();
    in.received.clear();
    if (in.channel != kNoHandle) {
        backend_.Purge(in.channel);
    }
}

// The interface's claim (if any) ends: the backend's channel closes, and the
// serial driver takes the interface back where it is due to.
void VirtualConverter::FreeLocked(int interfaceNumber) {
    Interface& in = interfaces_[interfaceNumber];
    if (in.claimedBy != 0) {
        in.claimedBy = 0;
        if (plugged_) {
            CloseChannelLocked(in);
        }
        if (in.autoDetached) {
            in.autoDetached = false;
            in.serialDriverBound = true;
        }
    }
    RebindIfFreeLocked(interfaceNumber);
}

void VirtualConverter::RebindIfFreeLocked(int interfaceNumber) {
    Interface& in = interfaces_[interfaceNumber];
    if (in.rebindWhenFree && in.claimedBy == 0 && !setup_.claimedElsewhere[interfaceNumber]) {
        in.rebindWhenFree = false;
        in.serialDriverBound = true;
    }
}

}  // namespace tavlin::sim
