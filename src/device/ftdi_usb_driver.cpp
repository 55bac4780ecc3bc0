#include "device/ftdi_usb_driver.h"

#include <algorithm>

#include "device/ftdi_channel.h"
#include "device/ftdi_enumerator.h"

namespace tavlin {

FtdiUsbDriver::FtdiUsbDriver() = default;

FtdiUsbDriver::~FtdiUsbDriver() {
    std::vector<std::shared_ptr<FtdiChannel>> open;
    {
        std::lock_guard lock(mutex_);
        open.swap(channels_);
    }
    for (const auto& channel : open) {
        if (channel) {
            channel->Close();
        }
    }
}

int FtdiUsbDriver::DeviceCount(int& count) {
    count = 0;
    std::vector<FtdiListEntry> entries;
    const int status = FtdiEnumerator::List(entries, [this](const FtdiLocation& where) {
        std::lock_guard lock(mutex_);
        return OwnedLocked(where);
    });
    std::lock_guard lock(mutex_);
    list_ = std::move(entries);
    count = static_cast<int>(list_.size());
    return status;
}

int FtdiUsbDriver::DeviceInfo(int index, UsbDeviceInfo& info) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<int>(list_.size())) {
        return kUsbDeviceNotFound;
    }
    info = list_[index].info;
    // This process may have opened it since the list was made.
    info.alreadyOpen = info.alreadyOpen || OwnedLocked(list_[index].where);
    return kUsbOk;
}

int FtdiUsbDriver::OpenByIndex(int index, UsbHandle& handle) {
    handle = kNoHandle;
    std::lock_guard opening(openMutex_);
    FtdiListEntry entry;
    {
        std::lock_guard lock(mutex_);
        if (index < 0 || index >= static_cast<int>(list_.size())) {
            return kUsbDeviceNotFound;
        }
        entry = list_[index];
        if (OwnedLocked(entry.where)) {
            return kUsbDeviceNotOpened;
        }
    }
    int status = kUsbOtherError;
    std::shared_ptr<FtdiChannel> channel = FtdiChannel::Open(entry.where, entry.info, status);
    if (!channel) {
        return status;
    }
    std::lock_guard lock(mutex_);
    handle = AddLocked(std::move(channel));
    return kUsbOk;
}

int FtdiUsbDriver::SetBaudRate(UsbHandle handle, int rate) {
    const auto channel = Channel(handle);
    return channel ? channel->SetBaudRate(rate) : kUsbInvalidHandle;
}

int FtdiUsbDriver::SetTimeouts(UsbHandle handle, int readMs, int writeMs) {
    const auto channel = Channel(handle);
    return channel ? channel->SetTimeouts(readMs, writeMs) : kUsbInvalidHandle;
}

int FtdiUsbDriver::Write(UsbHandle handle, const std::uint8_t* data, std::size_t count,
                         std::size_t& written) {
    written = 0;
    const auto channel = Channel(handle);
    return channel ? channel->Write(data, count, written) : kUsbInvalidHandle;
}

int FtdiUsbDriver::Read(UsbHandle handle, std::uint8_t* data, std::size_t count, std::size_t& got) {
    got = 0;
    const auto channel = Channel(handle);
    return channel ? channel->Read(data, count, got) : kUsbInvalidHandle;
}

int FtdiUsbDriver::QueueStatus(UsbHandle handle, std::size_t& waiting) {
    waiting = 0;
    const auto channel = Channel(handle);
    return channel ? channel->QueueStatus(waiting) : kUsbInvalidHandle;
}

int FtdiUsbDriver::Purge(UsbHandle handle) {
    const auto channel = Channel(handle);
    return channel ? channel->Purge() : kUsbInvalidHandle;
}

int FtdiUsbDriver::HandleInfo(UsbHandle handle, UsbDeviceInfo& info) {
    const auto channel = Channel(handle);
    if (!channel) {
        return kUsbInvalidHandle;
    }
    info = channel->Info();
    info.alreadyOpen = true;
    return kUsbOk;
}

int FtdiUsbDriver::CyclePort(UsbHandle handle) {
    const auto channel = Channel(handle);
    return channel ? channel->CyclePort() : kUsbInvalidHandle;
}

// The handle is withdrawn first, so no new call can reach the channel; calls
// already inside it end when its queue closes.
int FtdiUsbDriver::Close(UsbHandle handle) {
    std::shared_ptr<FtdiChannel> channel;
    {
        std::lock_guard lock(mutex_);
        if (handle <= kNoHandle || handle > static_cast<int>(channels_.size())) {
            return kUsbInvalidHandle;
        }
        channel.swap(channels_[handle - 1]);
    }
    if (!channel) {
        return kUsbInvalidHandle;
    }
    channel->Close();
    return kUsbOk;
}

std::shared_ptr<FtdiChannel> FtdiUsbDriver::Channel(UsbHandle handle) {
    std::lock_guard lock(mutex_);
    if (handle <= kNoHandle || handle > static_cast<int>(channels_.size())) {
        return nullptr;
    }
    return channels_[handle - 1];
}

bool FtdiUsbDriver::OwnedLocked(const FtdiLocation& where) const {
    return std::any_of(channels_.begin(), channels_.end(),
                       [&](const auto& channel) { return channel && channel->Where() == where; });
}

// The lowest free number, so handles stay small however often the link
// closes and reopens.
UsbHandle FtdiUsbDriver::AddLocked(std::shared_ptr<FtdiChannel> channel) {
    auto slot = std::find(channels_.begin(), channels_.end(), nullptr);
    if (slot == channels_.end()) {
        channels_.push_back(std::move(channel));
        return static_cast<UsbHandle>(channels_.size());
    }
    *slot = std::move(channel);
    return static_cast<UsbHandle>(slot - channels_.begin() + 1);
}

}  // namespace tavlin
