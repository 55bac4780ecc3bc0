#include "sim/virtual_instrument.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace tavlin::sim {

namespace {

constexpr const char* kDataDescription = "Tavlin A";
constexpr const char* kCommandDescription = "Tavlin B";
constexpr const char* kForeignDataDescription = "USB Serial Converter A";
constexpr const char* kForeignCommandDescription = "USB Serial Converter B";

// A capture, a step list or a stream.
bool IsDataRequest(const std::vector<std::uint8_t>& frame) {
    return !frame.empty() && (frame[0] == 'S' || frame[0] == 'N' || frame[0] == 'T');
}

}  // namespace

VirtualInstrument::VirtualInstrument(Clock& clock, const Scene& scene)
    : clock_(clock), scene_(scene), firmware_(scene), faults_(scene.faults) {}

int VirtualInstrument::DeviceCount(int& count) {
    std::lock_guard lock(mutex_);
    count = static_cast<int>(Listing(clock_.Now()).size());
    return kUsbOk;
}

int VirtualInstrument::DeviceInfo(int index, UsbDeviceInfo& info) {
    std::lock_guard lock(mutex_);
    const std::vector<Interface> listed = Listing(clock_.Now());
    if (index < 0 || index >= static_cast<int>(listed.size())) {
        return kUsbDeviceNotFound;
    }
    info = InfoOf(listed[index]);
    return kUsbOk;
}

int VirtualInstrument::OpenByIndex(int index, UsbHandle& handle) {
    std::lock_guard lock(mutex_);
    handle = kNoHandle;
    const std::vector<Interface> listed = Listing(clock_.Now());
    if (index < 0 || index >= static_cast<int>(listed.size())) {
        return kUsbDeviceNotFound;
    }
    const Interface interface = listed[index];
    if (InfoOf(interface).alreadyOpen) {
        return kUsbDeviceNotOpened;
    }
    int& failures =
        interface == Interface::Data ? faults_.dataOpenFailures : faults_.commandOpenFailures;
    if (TakeFault(failures)) {
        return kUsbDeviceNotOpened;
    }
    handle = nextHandle_++;
    channels_[handle] = Channel{interface, 0, kPowerOnBaud, false};
    return kUsbOk;
}

int VirtualInstrument::SetBaudRate(UsbHandle handle, int rate) {
    std::lock_guard lock(mutex_);
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    if (rate <= 0) {
        return kUsbOtherError;
    }
    channel->baudRate = rate;
    return kUsbOk;
}

int VirtualInstrument::SetTimeouts(UsbHandle handle, int readMs, int /*writeMs*/) {
    std::lock_guard lock(mutex_);
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    // Writes never wait here; a read waits at most readMs.
    channel->readTimeoutMs = std::max(0, readMs);
    return kUsbOk;
}

int VirtualInstrument::Write(UsbHandle handle, const std::uint8_t* data, std::size_t count,
                             std::size_t& written) {
    std::lock_guard lock(mutex_);
    written = 0;
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    if (TakeFault(faults_.failedWrites)) {
        return kUsbIoError;
    }
    const Clock::TimePoint now = clock_.Now();
    AdvanceData(now);  // what was sampled before this command used the old settings
    written = count;
    // The unit listens only on B, and only at its own rate; bytes sent at
    // another rate arrive as garbage and are lost.
    if (channel->interface == Interface::Command && BaudUnderstood(channel->baudRate)) {
        ExecuteCommands(data, count, Seconds(now));
    }
    return kUsbOk;
}

int VirtualInstrument::Read(UsbHandle handle, std::uint8_t* data, std::size_t count,
                            std::size_t& got) {
    got = 0;
    bool first = true;
    Clock::TimePoint deadline{};
    for (;;) {
        int sleepMs = 0;
        {
            std::lock_guard lock(mutex_);
            Channel* channel = nullptr;
            if (const int status = Find(handle, channel); status != kUsbOk) {
                return status;
            }
            const Clock::TimePoint now = clock_.Now();
            if (first) {
                deadline = now + std::chrono::milliseconds(channel->readTimeoutMs);
                first = false;
            }
            AdvanceData(now);
            got += QueueOf(channel->interface).Pop(data + got, count - got);
            if (got >= count || now >= deadline) {
                return kUsbOk;
            }
            sleepMs = SleepBeforeRetryMs(channel->interface, count - got, now, deadline);
        }
        clock_.SleepMs(sleepMs);
    }
}

int VirtualInstrument::QueueStatus(UsbHandle handle, std::size_t& waiting) {
    std::lock_guard lock(mutex_);
    waiting = 0;
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    AdvanceData(clock_.Now());
    waiting = QueueOf(channel->interface).Size();
    return kUsbOk;
}

int VirtualInstrument::Purge(UsbHandle handle) {
    std::lock_guard lock(mutex_);
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    AdvanceData(clock_.Now());
    QueueOf(channel->interface).Clear();
    return kUsbOk;
}

int VirtualInstrument::HandleInfo(UsbHandle handle, UsbDeviceInfo& info) {
    std::lock_guard lock(mutex_);
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    info = InfoOf(channel->interface);
    return kUsbOk;
}

// The unit drops off the bus and enumerates again a second later: every
// handle is dead (close them), the unit restarts from power-on.
int VirtualInstrument::CyclePort(UsbHandle handle) {
    std::lock_guard lock(mutex_);
    Channel* channel = nullptr;
    if (const int status = Find(handle, channel); status != kUsbOk) {
        return status;
    }
    PowerDown();
    offBusUntil_ = clock_.Now() + std::chrono::milliseconds(kReenumerationMs);
    return kUsbOk;
}

int VirtualInstrument::Close(UsbHandle handle) {
    std::lock_guard lock(mutex_);
    return channels_.erase(handle) > 0 ? kUsbOk : kUsbInvalidHandle;
}

void VirtualInstrument::SetFaults(const SimFaults& faults) {
    std::lock_guard lock(mutex_);
    faults_ = faults;
}

SimFaults VirtualInstrument::Faults() const {
    std::lock_guard lock(mutex_);
    return faults_;
}

void VirtualInstrument::Unplug() {
    std::lock_guard lock(mutex_);
    pluggedIn_ = false;
    replugAt_.reset();
    PowerDown();
}

long long VirtualInstrument::CommandsExecuted() const {
    std::lock_guard lock(mutex_);
    return commandsExecuted_;
}

void VirtualInstrument::PlugIn() {
    std::lock_guard lock(mutex_);
    pluggedIn_ = true;
    replugAt_.reset();
}

// The cable comes out: every handle is dead and the unit loses power. It
// comes back, freshly powered, when the fault says so.
void VirtualInstrument::PullCableLocked(Clock::TimePoint now) {
    pluggedIn_ = false;
    PowerDown();
    if (faults_.replugAfterMs >= 0) {
        replugAt_ = now + std::chrono::milliseconds(faults_.replugAfterMs);
    }
}

void VirtualInstrument::ReplugWhenDue(Clock::TimePoint now) {
    if (replugAt_ && now >= *replugAt_) {
        replugAt_.reset();
        pluggedIn_ = true;
    }
}

void VirtualInstrument::SetExternalReferencePresent(bool present) {
    std::lock_guard lock(mutex_);
    AdvanceData(clock_.Now());
    firmware_.SetExternalReferencePresent(present);
}

void VirtualInstrument::SetBenchSignal(const std::optional<SceneEmitter>& signal) {
    std::lock_guard lock(mutex_);
    AdvanceData(clock_.Now());
    firmware_.SetBenchSignal(signal);
}

ReceiverState VirtualInstrument::State() const {
    std::lock_guard lock(mutex_);
    return firmware_.State();
}

CalMemory::Image VirtualInstrument::Memory() const {
    std::lock_guard lock(mutex_);
    return firmware_.Memory().Bytes();
}

std::vector<VirtualInstrument::Interface> VirtualInstrument::Listing(Clock::TimePoint now) {
    ReplugWhenDue(now);
    if (!pluggedIn_ || now < offBusUntil_) {
        return {};
    }
    switch (faults_.listing) {
        case SimFaults::Listing::NoDevice:
            return {};
        case SimFaults::Listing::OnlyDataChannel:
            return {Interface::Data};
        case SimFaults::Listing::Normal:
        case SimFaults::Listing::ForeignDescriptions:
            break;
    }
    return {Interface::Data, Interface::Command};
}

UsbDeviceInfo VirtualInstrument::InfoOf(Interface interface) const {
    const bool data = interface == Interface::Data;
    const bool foreign = faults_.listing == SimFaults::Listing::ForeignDescriptions;
    UsbDeviceInfo info;
    info.serial = scene_.serial + (data ? "A" : "B");
    if (foreign) {
        info.description = data ? kForeignDataDescription : kForeignCommandDescription;
    } else {
        info.description = data ? kDataDescription : kCommandDescription;
    }
    info.alreadyOpen = InterfaceOpen(interface) || (data && faults_.dataChannelAlreadyOpen);
    return info;
}

bool VirtualInstrument::InterfaceOpen(Interface interface) const {
    return std::any_of(channels_.begin(), channels_.end(), [interface](const auto& entry) {
        return entry.second.interface == interface && !entry.second.dead;
    });
}

int VirtualInstrument::Find(UsbHandle handle, Channel*& channel) {
    ReplugWhenDue(clock_.Now());
    const auto it = channels_.find(handle);
    if (it == channels_.end()) {
        return kUsbInvalidHandle;
    }
    if (it->second.dead || !pluggedIn_) {
        return kUsbIoError;
    }
    channel = &it->second;
    return kUsbOk;
}

ReceiveFifo& VirtualInstrument::QueueOf(Interface interface) {
    return interface == Interface::Data ? dataRx_ : commandRx_;
}

void VirtualInstrument::AdvanceData(Clock::TimePoint now) {
    if (pluggedIn_) {
        firmware_.ProduceData(Seconds(now), dataRx_);
    }
}

void VirtualInstrument::ExecuteCommands(const std::uint8_t* data, std::size_t count,
                                        double nowSec) {
    frames_.clear();
    decoder_.Feed(data, count, frames_);
    for (const auto& frame : frames_) {
        if (!pluggedIn_) {
            return;  // the rest of the write went nowhere
        }
        reply_.clear();
        firmware_.Execute(frame, nowSec, reply_, faults_);
        commandRx_.Push(reply_.data(), reply_.size());
        ++commandsExecuted_;
        if (IsDataRequest(frame)) {
            ++dataRequests_;
        }
        if ((faults_.unplugAfterCommands > 0 && commandsExecuted_ == faults_.unplugAfterCommands) ||
            (IsDataRequest(frame) && dataRequests_ == faults_.unplugAtDataRequest)) {
            PullCableLocked(clock_.Now());
        }
    }
}

void VirtualInstrument::PowerDown() {
    for (auto& entry : channels_) {
        entry.second.dead = true;
    }
    dataRx_.Clear();
    commandRx_.Clear();
    decoder_.Reset();
    firmware_.PowerCycle();
}

// Sleep until the data channel holds what the read still wants (at least
// 1 ms), never past the deadline and never long, so data from another
// thread's command is seen soon. The queue is empty here: the read took all
// it held.
int VirtualInstrument::SleepBeforeRetryMs(Interface interface, std::size_t wanted,
                                          Clock::TimePoint now, Clock::TimePoint deadline) {
    double targetSec = Seconds(deadline);
    if (interface == Interface::Data) {
        targetSec = std::min(targetSec, firmware_.DataReadySec(wanted));
    }
    const double waitMs = std::ceil((targetSec - Seconds(now)) * 1000.0);
    return static_cast<int>(std::clamp(waitMs, 1.0, static_cast<double>(kLongestSleepMs)));
}

double VirtualInstrument::Seconds(Clock::TimePoint time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// The converter's rate must be within 3 % of the unit's 46667 baud.
bool VirtualInstrument::BaudUnderstood(int rate) {
    return std::abs(rate - kCommandBaud) <= kCommandBaud * 3 / 100;
}

}  // namespace tavlin::sim
