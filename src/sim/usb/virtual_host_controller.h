#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "sim/usb/virtual_converter.h"

struct libusb_transfer;

namespace tavlin::sim {

// The host controller behind libusb's asynchronous calls: transfers a
// program has submitted wait here, and a thread of the controller's own
// moves the chip's packets into them as a USB host does, without the
// program's help, while the program only reaps the finished ones
// (HandleEvents) and runs their callbacks. On each bulk-IN endpoint the
// transfers fill in the order they were submitted; an endpoint with none
// queued leaves the chip to hold what comes, up to its receive buffer.
// Bulk-OUT transfers complete at once. One controller per process, as the
// bus is.
class VirtualHostController {
  public:
    static VirtualHostController& Instance();
    ~VirtualHostController();
    VirtualHostController(const VirtualHostController&) = delete;
    VirtualHostController& operator=(const VirtualHostController&) = delete;

    // libusb's results. `session` is the libusb context the transfer's
    // device was listed in: only that context's event handling reaps it, as
    // each libftdi context (one per channel) has a thread of its own.
    int Submit(libusb_transfer* transfer, std::shared_ptr<VirtualConverter> converter, int handle,
               const void* session);
    int Cancel(libusb_transfer* transfer);
    // Waits up to `timeout` for a finished transfer of `session` (or for
    // `*completed` to be set by a callback), then runs the callbacks of all
    // of them that finished.
    void HandleEvents(const void* session, std::chrono::microseconds timeout, const int* completed);
    // A transfer being freed is forgotten (libusb forbids freeing one in flight).
    void Forget(libusb_transfer* transfer);

  private:
    struct Pending {
        libusb_transfer* transfer = nullptr;
        std::shared_ptr<VirtualConverter> converter;
        int handle = 0;
        const void* session = nullptr;
        VirtualConverter::InTransfer progress;
        std::chrono::steady_clock::time_point submitted;
        bool cancelled = false;
    };
    using Endpoint = std::pair<VirtualConverter*, std::uint8_t>;

    VirtualHostController() = default;
    void Run();
    void ServeLocked();
    bool StepLocked(Pending& pending, std::chrono::steady_clock::time_point now);
    void FinishLocked(const void* session, libusb_transfer* transfer, int libusbResult,
                      int transferred);
    bool FinishedLocked(const void* session) const;
    void StartLocked();

    std::mutex mutex_;
    std::condition_variable submitted_;
    std::condition_variable finished_;
    std::deque<Pending> pending_;
    std::vector<std::pair<const void*, libusb_transfer*>> done_;  // by session
    // Every bulk-IN endpoint ever used, with its converter kept alive.
    std::vector<std::pair<Endpoint, std::shared_ptr<VirtualConverter>>> endpoints_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace tavlin::sim
