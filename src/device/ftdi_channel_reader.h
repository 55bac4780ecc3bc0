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

namespace tavlin {

// The receive side of one open converter interface. libftdi has no "bytes
// waiting" call, so a thread reads the interface all the time and keeps what
// arrives in a bounded queue; the device link's reads, queue counts and purges
// work on that queue.
//
// The thread reads the bulk-IN endpoint itself and strips the two status
// bytes of every packet, so that what a transfer carried counts as waiting as
// soon as the transfer completes. Everything that touches the receive side
// (the reads, the receive purge, the port cycle) happens on this thread. Other threads ask for a
// purge or a port cycle and wait, with a limit, for the answer.
//
// When the device vanishes the queue is closed: waiting reads end at once and
// every later call fails instead of hanging.
class FtdiChannelReader {
  public:
    // How long one libftdi read may block, so the thread sees a stop soon.
    static constexpr int kPollTimeoutMs = 200;
    // One bulk-IN transfer. It ends early only at a short packet, so while the
    // stream keeps the chip's packets full it holds its data back until it is
    // full: 4 KiB is 2 ms of the full stream and 34 ms of the narrow sweep's
    // 16-fold decimated one (16 KiB would hold a block back by 135 ms, past
    // the link's 250 ms wait for it), and a multiple of both chips' packets.
    static constexpr std::size_t kTransferBytes = 4096;

    // `context` is opened and outlives the reader; `contextMutex` is held by
    // every other user of the context that changes it or sends control
    // requests (writes, rate and time-out changes).
    FtdiChannelReader(ftdi_context* context, std::mutex& contextMutex,
                      std::size_t queueBound = ByteQueue::kDefaultBound);
    ~FtdiChannelReader();
    FtdiChannelReader(const FtdiChannelReader&) = delete;
    FtdiChannelReader& operator=(const FtdiChannelReader&) = delete;

    // Throws std::system_error when no thread can be started.
    void Start();
    // Ends and joins the thread and closes the queue. Safe to call twice.
    void Stop();

    ByteQueue& Queue() { return queue_; }
    bool DeviceGone() const { return gone_.load(); }

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

    void Run();
    void ReadOnce();
    void ServeTask();
    int Execute(Task task);
    int RunTask(Task task, std::chrono::milliseconds limit);
    void WaitForTaskOrStop(std::chrono::milliseconds pause);
    void FailPendingTask();
    void MarkGone();

    ftdi_context* const context_;
    std::mutex& contextMutex_;
    ByteQueue queue_;
    std::vector<std::uint8_t> chunk_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> gone_{false};
    std::atomic<bool> started_{false};
    int consecutiveErrors_ = 0;  // reader thread only

    std::mutex taskMutex_;
    std::condition_variable taskChanged_;
    Task task_ = Task::kNone;
    TaskState taskState_ = TaskState::kIdle;
    int taskResult_ = 0;
    std::mutex callerMutex_;  // one purge or port cycle at a time

    std::mutex lifeMutex_;  // Start and Stop
    std::thread thread_;
};

}  // namespace tavlin
