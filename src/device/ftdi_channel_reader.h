#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "device/byte_queue.h"

struct ftdi_context;
struct libusb_transfer;

namespace tavlin {

// The receive side of one open converter interface. libftdi has no "bytes
// waiting" call, so a thread reads the interface all the time and keeps what
// arrives in a bounded queue; the device link's reads, queue counts and purges
// work on that queue.
//
// The thread keeps several asynchronous bulk-IN transfers queued on the
// interface's endpoint, so that the host always has a buffer for the chip:
// while the thread handles one finished transfer the next ones fill. It
// strips the two status bytes of every packet, so that what a transfer
// carried counts as waiting as soon as the transfer completes, and it counts
// and reports every gap: a packet whose line status says the chip's receive
// buffer overran, or a transfer that failed, leaves the queue marked lost
// rather than spliced. Everything that touches the receive side (the
// transfers, the receive purge, the port cycle) happens on this thread, at a
// raised priority where the system grants one. Other threads ask for a
// purge or a port cycle and wait, with a limit, for the answer.
//
// When the device vanishes the queue is closed: waiting reads end at once and
// every later call fails instead of hanging.
class FtdiChannelReader {
  public:
    // The longest the thread waits for a transfer to finish before it looks
    // for a stop or a task again.
    static constexpr int kEventWaitMs = 50;
    // One bulk-IN transfer: the FT2232H's receive buffer of one channel, a
    // multiple of both chips' packets. A transfer ends early at a short
    // packet, which the chip sends when its latency timer expires.
    static constexpr std::size_t kTransferBytes = 4096;
    // Queued at once: 128 KiB, 67 ms of the full stream, the longest the
    // thread may be kept from the processor before the chip must hold data.
    static constexpr int kTransfersInFlight = 32;

    // `context` is opened and outlives the reader; `contextMutex` is held by
    // every other user of the context that changes it or sends control
    // requests (writes, rate and time-out changes).
    FtdiChannelReader(ftdi_context* context, std::mutex& contextMutex,
                      std::size_t queueBound = ByteQueue::kDefaultBound);
    ~FtdiChannelReader();
    FtdiChannelReader(const FtdiChannelReader&) = delete;
    FtdiChannelReader& operator=(const FtdiChannelReader&) = delete;

    // Returns once the thread has its transfers queued (or found the device
    // gone). Throws std::system_error when no thread can be started.
    void Start();
    // Ends and joins the thread and closes the queue. Safe to call twice.
    void Stop();

    ByteQueue& Queue() { return queue_; }
    bool DeviceGone() const { return gone_.load(); }
    // Gaps in the received data since the start: overruns of the chip's
    // receive buffer and failed transfers.
    std::uint64_t LostBlocks() const { return lostBlocks_.load(); }

    // Drops what the chip and libftdi hold, then the queue (and a pending
    // overflow). Returns a UsbStatus.
    int Purge(std::chrono::milliseconds limit);
    // A USB reset of the whole device, in place at the same address. The
    // chip and the instrument restart, so this channel is spent afterwards
    // and must be closed and opened again. Returns a UsbStatus.
    int CyclePort(std::chrono::milliseconds limit);

  private:
    enum class Task { kNone, kPurge, kCyclePort };
    enum class TaskState { kIdle, kPending, kRunning, kDone };

    struct Slot {
        FtdiChannelReader* owner = nullptr;
        libusb_transfer* transfer = nullptr;
        std::vector<std::uint8_t> buffer;
        bool queued = false;
    };

    static void TransferDone(libusb_transfer* transfer);
    void Run();
    bool AllocateSlots();
    void FreeSlots();
    void SubmitIdleSlots();
    void Finished(Slot& slot);
    void Deliver(std::uint8_t* bytes, std::size_t count);
    void MarkLost(const char* overrun);
    void CancelAndDrain();
    void HandleEvents(std::chrono::milliseconds wait);
    void ServeTask();
    int Execute(Task task);
    int RunTask(Task task, std::chrono::milliseconds limit);
    void WaitForTaskOrStop(std::chrono::milliseconds pause);
    void FailPendingTask();
    void MarkGone();

    ftdi_context* const context_;
    std::mutex& contextMutex_;
    ByteQueue queue_;
    std::vector<Slot> slots_;  // reader thread only
    int queued_ = 0;           // reader thread only
    bool leaked_ = false;      // transfers the bus never gave back: never freed
    std::chrono::steady_clock::time_point resumeAt_{};  // after a failed transfer
    std::atomic<bool> stop_{false};
    std::atomic<bool> gone_{false};
    std::atomic<bool> started_{false};
    std::atomic<std::uint64_t> lostBlocks_{0};
    int consecutiveErrors_ = 0;  // reader thread only

    std::mutex taskMutex_;
    std::condition_variable taskChanged_;
    Task task_ = Task::kNone;
    TaskState taskState_ = TaskState::kIdle;
    bool reading_ = false;  // the first transfers are queued
    int taskResult_ = 0;
    std::mutex callerMutex_;  // one purge or port cycle at a time

    std::mutex lifeMutex_;  // Start and Stop
    std::thread thread_;
};

}  // namespace tavlin
