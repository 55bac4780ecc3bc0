#include "device/ftdi_channel_reader.h"

#include <ftdi.h>
#include <libusb.h>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "device/usb_driver.h"
#include "ports/log.h"

namespace tavlin {

namespace {

constexpr std::size_t kStatusBytes = 2;
// Line status bit of a packet's second status byte: the chip's receive
// buffer overran, so bytes before this packet's data were lost.
constexpr std::uint8_t kOverrunBit = 0x02;
// Failed transfers are queued again after a pause; this many in a row (about
// half a second) count as a vanished device.
constexpr int kErrorsBeforeGone = 10;
constexpr std::chrono::milliseconds kErrorPause{50};
constexpr std::chrono::milliseconds kGoneIdle{200};
// The thread picks a task up between two waits for transfers; this leaves
// room for a slow bus.
constexpr std::chrono::milliseconds kPickupLimit{2000};
// How long cancelled transfers may take to come back before the thread gives
// up on them (and leaves their memory to the bus rather than free it).
constexpr std::chrono::milliseconds kDrainLimit{1000};
// The reader wants the processor as soon as a transfer completes: real-time
// scheduling where the system grants it, else a raised nice level.
constexpr int kRealTimePriority = 10;
constexpr int kRaisedNice = -10;

void RaiseThreadPriority() {
    sched_param param{};
    param.sched_priority = kRealTimePriority;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
        return;
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kRaisedNice) == 0) {
        return;
    }
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        LogInfo("device",
                "the USB reader runs at normal priority (the system refused real-time and "
                "raised priority): on a busy machine the converter's receive buffer may "
                "overrun, and sweeps that lose data say so");
    }
}

}  // namespace

FtdiChannelReader::FtdiChannelReader(ftdi_context* context, std::mutex& contextMutex,
                                     std::size_t queueBound)
    : context_(context), contextMutex_(contextMutex), queue_(queueBound) {}

FtdiChannelReader::~FtdiChannelReader() {
    Stop();
}

void FtdiChannelReader::Start() {
    std::lock_guard life(lifeMutex_);
    if (thread_.joinable() || stop_) {
        return;
    }
    thread_ = std::thread(&FtdiChannelReader::Run, this);
    started_ = true;
    // The channel counts as open once the host has buffers queued on it:
    // what the unit sends after the open then never waits in the chip for a
    // thread that has not yet run (on a busy machine, tens of milliseconds).
    std::unique_lock lock(taskMutex_);
    taskChanged_.wait_for(lock, kPickupLimit, [&] { return reading_ || stop_; });
}

void FtdiChannelReader::Stop() {
    std::lock_guard life(lifeMutex_);
    {
        std::lock_guard lock(taskMutex_);
        stop_ = true;
    }
    taskChanged_.notify_all();
    queue_.Close();
    if (thread_.joinable()) {
        thread_.join();
    }
    FailPendingTask();
}

int FtdiChannelReader::Purge(std::chrono::milliseconds limit) {
    return RunTask(Task::kPurge, limit);
}

int FtdiChannelReader::CyclePort(std::chrono::milliseconds limit) {
    return RunTask(Task::kCyclePort, limit);
}

void FtdiChannelReader::Run() {
    RaiseThreadPriority();
    if (context_->usb_dev == nullptr || !AllocateSlots()) {
        MarkGone();
    }
    SubmitIdleSlots();
    {
        std::lock_guard lock(taskMutex_);
        reading_ = true;
    }
    taskChanged_.notify_all();
    while (!stop_) {
        ServeTask();
        if (stop_) {
            break;
        }
        if (gone_ && queued_ == 0) {
            WaitForTaskOrStop(kGoneIdle);
            continue;
        }
        SubmitIdleSlots();
        HandleEvents(std::chrono::milliseconds(kEventWaitMs));
    }
    CancelAndDrain();
    FreeSlots();
    FailPendingTask();
}

bool FtdiChannelReader::AllocateSlots() {
    slots_.resize(kTransfersInFlight);
    for (Slot& slot : slots_) {
        slot.owner = this;
        slot.buffer.resize(kTransferBytes);
        slot.transfer = libusb_alloc_transfer(0);
        if (slot.transfer == nullptr) {
            return false;
        }
    }
    return true;
}

void FtdiChannelReader::FreeSlots() {
    if (leaked_) {
        // The bus may still write into them: their memory is left to it on
        // purpose, as the price of a stop that does not hang.
        static_cast<void>(new std::vector<Slot>(std::move(slots_)));
        slots_.clear();
        return;
    }
    for (Slot& slot : slots_) {
        libusb_free_transfer(slot.transfer);
    }
    slots_.clear();
}

// Every idle transfer goes back to the endpoint at once, so the host always
// has buffers queued; after a failure only once the pause is over.
void FtdiChannelReader::SubmitIdleSlots() {
    if (gone_ || std::chrono::steady_clock::now() < resumeAt_) {
        return;
    }
    for (Slot& slot : slots_) {
        if (slot.queued) {
            continue;
        }
        libusb_fill_bulk_transfer(slot.transfer, context_->usb_dev,
                                  static_cast<unsigned char>(context_->out_ep), slot.buffer.data(),
                                  static_cast<int>(slot.buffer.size()), &TransferDone, &slot, 0);
        const int submitted = libusb_submit_transfer(slot.transfer);
        if (submitted == LIBUSB_ERROR_NO_DEVICE) {
            MarkGone();
            return;
        }
        if (submitted != 0) {
            MarkLost(nullptr);
            resumeAt_ = std::chrono::steady_clock::now() + kErrorPause;
            return;
        }
        slot.queued = true;
        ++queued_;
    }
}

void FtdiChannelReader::TransferDone(libusb_transfer* transfer) {
    auto* slot = static_cast<Slot*>(transfer->user_data);
    slot->owner->Finished(*slot);
}

// Runs on the reader thread, inside HandleEvents. A cancelled transfer's
// bytes are dropped: it was cancelled for a purge, a port cycle or the end.
void FtdiChannelReader::Finished(Slot& slot) {
    slot.queued = false;
    --queued_;
    libusb_transfer* transfer = slot.transfer;
    switch (transfer->status) {
        case LIBUSB_TRANSFER_COMPLETED:
        case LIBUSB_TRANSFER_TIMED_OUT:
            Deliver(slot.buffer.data(), static_cast<std::size_t>(transfer->actual_length));
            consecutiveErrors_ = 0;
            return;
        case LIBUSB_TRANSFER_CANCELLED:
            return;
        case LIBUSB_TRANSFER_NO_DEVICE:
            MarkGone();
            return;
        default:
            break;
    }
    // What the failed transfer carried came before the gap.
    Deliver(slot.buffer.data(), static_cast<std::size_t>(std::max(transfer->actual_length, 0)));
    MarkLost(nullptr);
    resumeAt_ = std::chrono::steady_clock::now() + kErrorPause;
    if (++consecutiveErrors_ >= kErrorsBeforeGone) {
        MarkGone();
    }
}

// The payload of a bulk-IN transfer: every packet of the converter starts
// with two status bytes. A packet whose line status reports an overrun
// follows a gap: what came before it is queued, then the gap is marked.
// A refused append is an overflow (or a closed queue): the queue keeps the
// fact, and reading on keeps the chip's buffer draining.
void FtdiChannelReader::Deliver(std::uint8_t* bytes, std::size_t count) {
    const std::size_t packetBytes =
        context_->max_packet_size > kStatusBytes ? context_->max_packet_size : kTransferBytes;
    std::size_t kept = 0;
    for (std::size_t packet = 0; packet < count; packet += packetBytes) {
        const std::size_t first = packet + kStatusBytes;
        const std::size_t end = std::min(count, packet + packetBytes);
        if (first > end) {
            break;
        }
        if ((bytes[packet + 1] & kOverrunBit) != 0) {
            queue_.Append(bytes, kept);
            kept = 0;
            MarkLost("the converter's receive buffer overran");
        }
        std::memmove(bytes + kept, bytes + first, end - first);
        kept += end - first;
    }
    queue_.Append(bytes, kept);
}

// A gap in the received data. A failed transfer is counted only: the link
// reports the capture it spoils, and after a port cycle the other channel's
// transfers fail until it is closed. An overrun is logged as well, once per
// gap, since nothing else shows its cause; before the gap is queued, so
// that whoever reads the gap finds its cause already in the log.
void FtdiChannelReader::MarkLost(const char* overrun) {
    const bool known = queue_.Overflowed();
    const std::uint64_t lost = ++lostBlocks_;
    if (overrun != nullptr && !known) {
        LogWarning("device", std::string("received data lost: ") + overrun + " (" +
                                 std::to_string(lost) + " gaps so far)");
    }
    queue_.MarkLost();
}

void FtdiChannelReader::HandleEvents(std::chrono::milliseconds wait) {
    timeval timeout{};
    timeout.tv_sec = static_cast<decltype(timeout.tv_sec)>(wait.count() / 1000);
    timeout.tv_usec = static_cast<decltype(timeout.tv_usec)>((wait.count() % 1000) * 1000);
    libusb_handle_events_timeout_completed(context_->usb_ctx, &timeout, nullptr);
}

// Every queued transfer is cancelled and waited for, within a limit: a bus
// that never gives them back keeps their memory rather than have it freed
// under it.
void FtdiChannelReader::CancelAndDrain() {
    for (Slot& slot : slots_) {
        if (slot.queued) {
            libusb_cancel_transfer(slot.transfer);
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    while (queued_ > 0 && std::chrono::steady_clock::now() < deadline) {
        HandleEvents(std::chrono::milliseconds(kEventWaitMs));
    }
    if (queued_ > 0) {
        leaked_ = true;
        LogWarning("device", "USB transfers did not come back after a cancel");
    }
}

void FtdiChannelReader::ServeTask() {
    Task task = Task::kNone;
    {
        std::lock_guard lock(taskMutex_);
        if (taskState_ != TaskState::kPending) {
            return;
        }
        task = task_;
        taskState_ = TaskState::kRunning;
    }
    taskChanged_.notify_all();
    const int result = Execute(task);
    {
        std::lock_guard lock(taskMutex_);
        taskResult_ = result;
        taskState_ = TaskState::kDone;
        task_ = Task::kNone;
    }
    taskChanged_.notify_all();
}

int FtdiChannelReader::Execute(Task task) {
    std::lock_guard context(contextMutex_);
    switch (task) {
        case Task::kPurge: {
            // The transfers in flight first (they hold bytes from before the
            // purge), then the chip's receive buffer and libftdi's, then ours,
            // so that nothing from before the purge can arrive after it. The
            // transfers are queued again by the thread's next turn.
            CancelAndDrain();
            const int flushed = gone_ ? -1 : ftdi_tciflush(context_);
            queue_.Clear();
            return flushed == 0 ? kUsbOk : kUsbIoError;
        }
        case Task::kCyclePort: {
            if (gone_) {
                return kUsbIoError;
            }
            // On Linux the reset happens in place: the device keeps its bus
            // address and this handle, but the chip forgets its rates and
            // latency and the instrument restarts, so the channel is spent
            // either way and the link opens both interfaces anew.
            CancelAndDrain();
            const int reset = libusb_reset_device(context_->usb_dev);
            MarkGone();
            return reset == 0 || reset == LIBUSB_ERROR_NOT_FOUND ? kUsbOk : kUsbIoError;
        }
        case Task::kNone:
            break;
    }
    return kUsbOtherError;
}

int FtdiChannelReader::RunTask(Task task, std::chrono::milliseconds limit) {
    std::lock_guard caller(callerMutex_);
    std::unique_lock lock(taskMutex_);
    // A task whose caller gave up may still be running: let it end first.
    if (!taskChanged_.wait_for(lock, limit,
                               [&] { return taskState_ != TaskState::kRunning || stop_; })) {
        return kUsbIoError;
    }
    if (stop_ || !started_) {
        return kUsbDeviceNotOpened;
    }
    task_ = task;
    taskState_ = TaskState::kPending;
    lock.unlock();
    taskChanged_.notify_all();
    lock.lock();
    if (!taskChanged_.wait_for(lock, kPickupLimit,
                               [&] { return taskState_ != TaskState::kPending; })) {
        // The thread is stuck in the bus: withdraw rather than let the task
        // run later on data that arrived meanwhile.
        task_ = Task::kNone;
        taskState_ = TaskState::kIdle;
        return kUsbIoError;
    }
    if (!taskChanged_.wait_for(lock, limit, [&] { return taskState_ == TaskState::kDone; })) {
        return kUsbIoError;
    }
    taskState_ = TaskState::kIdle;
    return taskResult_;
}

void FtdiChannelReader::WaitForTaskOrStop(std::chrono::milliseconds pause) {
    std::unique_lock lock(taskMutex_);
    taskChanged_.wait_for(lock, pause,
                          [&] { return stop_.load() || taskState_ == TaskState::kPending; });
}

// A task asked for while the thread was ending gets a failure, not a wait.
void FtdiChannelReader::FailPendingTask() {
    {
        std::lock_guard lock(taskMutex_);
        if (taskState_ != TaskState::kPending) {
            return;
        }
        taskResult_ = kUsbDeviceNotOpened;
        taskState_ = TaskState::kDone;
        task_ = Task::kNone;
    }
    taskChanged_.notify_all();
}

void FtdiChannelReader::MarkGone() {
    gone_ = true;
    queue_.Close();
}

}  // namespace tavlin
