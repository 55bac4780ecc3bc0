#include "sim/usb/virtual_host_controller.h"

#include <libusb.h>
#include <pthread.h>
#include <sched.h>

#include <algorithm>

namespace tavlin::sim {

namespace {

// How often the controller looks at the chips: at the FT2232H's full stream
// a millisecond is under half its receive buffer.
constexpr std::chrono::microseconds kServicePeriod{1000};
constexpr int kRealTimePriority = 10;

libusb_transfer_status StatusOf(int libusbResult) {
    switch (libusbResult) {
        case 0:
            return LIBUSB_TRANSFER_COMPLETED;
        case LIBUSB_ERROR_TIMEOUT:
            return LIBUSB_TRANSFER_TIMED_OUT;
        case LIBUSB_ERROR_NO_DEVICE:
            return LIBUSB_TRANSFER_NO_DEVICE;
        case LIBUSB_ERROR_OVERFLOW:
            return LIBUSB_TRANSFER_OVERFLOW;
        case LIBUSB_ERROR_PIPE:
            return LIBUSB_TRANSFER_STALL;
        default:
            return LIBUSB_TRANSFER_ERROR;
    }
}

bool IsIn(const libusb_transfer* transfer) {
    return (transfer->endpoint & LIBUSB_ENDPOINT_IN) != 0;
}

}  // namespace

VirtualHostController& VirtualHostController::Instance() {
    static VirtualHostController controller;
    return controller;
}

VirtualHostController::~VirtualHostController() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    submitted_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

int VirtualHostController::Submit(libusb_transfer* transfer,
                                  std::shared_ptr<VirtualConverter> converter, int handle,
                                  const void* session) {
    if (transfer == nullptr || !converter || transfer->length < 0) {
        return LIBUSB_ERROR_INVALID_PARAM;
    }
    if (transfer->type != LIBUSB_TRANSFER_TYPE_BULK) {
        return LIBUSB_ERROR_NOT_SUPPORTED;
    }
    std::lock_guard lock(mutex_);
    const auto same = [&](const Pending& p) { return p.transfer == transfer; };
    if (std::any_of(pending_.begin(), pending_.end(), same)) {
        return LIBUSB_ERROR_BUSY;
    }
    if (!IsIn(transfer)) {
        int transferred = 0;
        const int result = converter->BulkOut(handle, transfer->endpoint, transfer->buffer,
                                              transfer->length, transferred);
        FinishLocked(session, transfer, result, transferred);
        return 0;
    }
    const Endpoint endpoint{converter.get(), transfer->endpoint};
    const bool queued = std::any_of(pending_.begin(), pending_.end(), [&](const Pending& p) {
        return Endpoint{p.converter.get(), p.transfer->endpoint} == endpoint;
    });
    if (!queued) {
        // Until now the host had no buffer on this endpoint.
        converter->HoldReceived(transfer->endpoint);
    }
    if (std::none_of(endpoints_.begin(), endpoints_.end(),
                     [&](const auto& known) { return known.first == endpoint; })) {
        endpoints_.emplace_back(endpoint, converter);
    }
    Pending pending;
    pending.transfer = transfer;
    pending.converter = std::move(converter);
    pending.handle = handle;
    pending.session = session;
    pending.progress.data = transfer->buffer;
    pending.progress.length = transfer->length;
    pending.submitted = std::chrono::steady_clock::now();
    pending_.push_back(std::move(pending));
    StartLocked();
    submitted_.notify_all();
    return 0;
}

int VirtualHostController::Cancel(libusb_transfer* transfer) {
    std::lock_guard lock(mutex_);
    for (Pending& pending : pending_) {
        if (pending.transfer == transfer && !pending.cancelled) {
            pending.cancelled = true;
            submitted_.notify_all();
            return 0;
        }
    }
    return LIBUSB_ERROR_NOT_FOUND;
}

void VirtualHostController::HandleEvents(const void* session, std::chrono::microseconds timeout,
                                         const int* completed) {
    std::vector<libusb_transfer*> done;
    {
        std::unique_lock lock(mutex_);
        finished_.wait_for(lock, timeout, [&] {
            return FinishedLocked(session) || (completed != nullptr && *completed != 0);
        });
        std::erase_if(done_, [&](const auto& entry) {
            if (entry.first != session) {
                return false;
            }
            done.push_back(entry.second);
            return true;
        });
    }
    for (libusb_transfer* transfer : done) {
        if (transfer->callback != nullptr) {
            transfer->callback(transfer);
        }
    }
}

bool VirtualHostController::FinishedLocked(const void* session) const {
    return std::any_of(done_.begin(), done_.end(),
                       [&](const auto& entry) { return entry.first == session; });
}

void VirtualHostController::Forget(libusb_transfer* transfer) {
    std::lock_guard lock(mutex_);
    std::erase_if(pending_, [&](const Pending& p) { return p.transfer == transfer; });
    std::erase_if(done_, [&](const auto& entry) { return entry.second == transfer; });
}

void VirtualHostController::StartLocked() {
    if (!thread_.joinable()) {
        thread_ = std::thread(&VirtualHostController::Run, this);
    }
}

// The controller stands for hardware, which a busy processor does not
// delay: it asks for real-time scheduling, and goes on without it where the
// system refuses (a late pass then fills the queued transfers at once, and
// only what passes all of them counts against the chip).
void VirtualHostController::Run() {
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (pending_.empty()) {
            submitted_.wait(lock, [&] { return stop_ || !pending_.empty(); });
            continue;
        }
        ServeLocked();
        lock.unlock();
        std::this_thread::sleep_for(kServicePeriod);
        lock.lock();
    }
}

// One look at every queued transfer, in the order they were submitted. An
// endpoint whose first transfer stays open gives nothing to those behind it;
// an endpoint left without an open transfer leaves the chip holding.
void VirtualHostController::ServeLocked() {
    const auto now = std::chrono::steady_clock::now();
    std::set<Endpoint> open;
    for (auto it = pending_.begin(); it != pending_.end();) {
        const Endpoint endpoint{it->converter.get(), it->transfer->endpoint};
        if (!it->cancelled && open.count(endpoint) != 0) {
            ++it;
        } else if (StepLocked(*it, now)) {
            it = pending_.erase(it);
        } else {
            open.insert(endpoint);
            ++it;
        }
    }
    std::erase_if(endpoints_, [](const auto& known) { return !known.second->Plugged(); });
    for (const auto& [endpoint, converter] : endpoints_) {
        if (open.count(endpoint) == 0) {
            converter->HoldReceived(endpoint.second);
        }
    }
}

// True when the transfer is over.
bool VirtualHostController::StepLocked(Pending& pending,
                                       std::chrono::steady_clock::time_point now) {
    libusb_transfer* transfer = pending.transfer;
    if (pending.cancelled) {
        FinishLocked(pending.session, transfer, 0, pending.progress.transferred);
        transfer->status = LIBUSB_TRANSFER_CANCELLED;
        return true;
    }
    const int result =
        pending.converter->StepIn(pending.handle, transfer->endpoint, pending.progress);
    if (result != VirtualConverter::kStillWaiting) {
        FinishLocked(pending.session, transfer, result, pending.progress.transferred);
        return true;
    }
    if (transfer->timeout != 0 &&
        now - pending.submitted >= std::chrono::milliseconds(transfer->timeout)) {
        FinishLocked(pending.session, transfer, LIBUSB_ERROR_TIMEOUT, pending.progress.transferred);
        return true;
    }
    return false;
}

void VirtualHostController::FinishLocked(const void* session, libusb_transfer* transfer,
                                         int libusbResult, int transferred) {
    transfer->status = StatusOf(libusbResult);
    transfer->actual_length = transferred;
    done_.emplace_back(session, transfer);
    finished_.notify_all();
}

}  // namespace tavlin::sim
