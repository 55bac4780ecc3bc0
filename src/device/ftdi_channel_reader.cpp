#include "device/ftdi_channel_reader.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cstring>

#include "device/usb_driver.h"

namespace tavlin {

namespace {

constexpr std::size_t kStatusBytes = 2;
// Errors other than "device gone" are retried after a pause; this many in a
// row (about half a second) count as a vanished device.
constexpr int kErrorsBeforeGone = 10;
constexpr std::chrono::milliseconds kErrorPause{50};
constexpr std::chrono::milliseconds kGoneIdle{200};
// The thread picks a task up between two reads, which end within the poll
// time-out; this leaves room for a slow bus.
constexpr std::chrono::milliseconds kPickupLimit{2000};

// The payload of a bulk-IN transfer: every packet of the converter starts
// with two modem status bytes. Compacted in place; returns the data bytes.
std::size_t StripStatusBytes(std::uint8_t* bytes, std::size_t count, std::size_t packetBytes) {
    std::size_t kept = 0;
    for (std::size_t packet = 0; packet < count; packet += packetBytes) {
        const std::size_t first = packet + kStatusBytes;
        const std::size_t end = std::min(count, packet + packetBytes);
        if (first < end) {
            std::memmove(bytes + kept, bytes + first, end - first);
            kept += end - first;
        }
    }
    return kept;
}

}  // namespace

FtdiChannelReader::FtdiChannelReader(ftdi_context* context, std::mutex& contextMutex,
                                     std::size_t queueBound)
    : context_(context), contextMutex_(contextMutex), queue_(queueBound), chunk_(kTransferBytes) {}

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
    while (!stop_) {
        ServeTask();
        if (stop_) {
            break;
        }
        if (gone_) {
            WaitForTaskOrStop(kGoneIdle);
        } else {
            ReadOnce();
        }
    }
    FailPendingTask();
}

// One bulk-IN transfer straight from the interface's endpoint. It ends when
// the buffer is full or the chip sends a short packet, which the chip does at
// each latency-timer expiry, so what arrived is counted at once. (libftdi's
// own read goes on to the next transfer until one carries no data, a further
// latency period later.) A time-out still delivers what it carried; any other
// failure leaves a gap in the stream, and the queue says so rather than join
// the bytes on either side of it.
void FtdiChannelReader::ReadOnce() {
    libusb_device_handle* device = context_->usb_dev;
    if (device == nullptr) {
        MarkGone();
        return;
    }
    int transferred = 0;
    const int result =
        libusb_bulk_transfer(device, static_cast<unsigned char>(context_->out_ep), chunk_.data(),
                             static_cast<int>(chunk_.size()), &transferred, kPollTimeoutMs);
    const std::size_t packetBytes =
        context_->max_packet_size > kStatusBytes ? context_->max_packet_size : kTransferBytes;
    const std::size_t data = StripStatusBytes(
        chunk_.data(), static_cast<std::size_t>(std::max(transferred, 0)), packetBytes);
    // A refused append is an overflow (or a closed queue): the queue keeps
    // the fact, and reading on keeps the chip's buffer draining.
    queue_.Append(chunk_.data(), data);
    if (result == 0 || result == LIBUSB_ERROR_TIMEOUT) {
        consecutiveErrors_ = 0;
        return;
    }
    if (result == LIBUSB_ERROR_NO_DEVICE) {
        MarkGone();
        return;
    }
    queue_.MarkLost();
    if (++consecutiveErrors_ >= kErrorsBeforeGone) {
        MarkGone();
        return;
    }
    WaitForTaskOrStop(kErrorPause);
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
            // The chip's receive buffer and libftdi's first, then ours, so
            // that nothing from before the purge can arrive after it.
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
