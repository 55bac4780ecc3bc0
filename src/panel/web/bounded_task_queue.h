#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavlin {

// The web server's connection threads: a fixed number of threads and a
// queue of at most `maxQueued` accepted connections. When it is full the
// server stops accepting until a thread is free, so a flood of connections
// waits in the system's listen queue and costs the program nothing.
class BoundedTaskQueue final : public httplib::TaskQueue {
  public:
    BoundedTaskQueue(std::size_t threads, std::size_t maxQueued);
    ~BoundedTaskQueue() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

  private:
    void Work();

    const std::size_t maxQueued_;
    std::mutex mutex_;
    std::condition_variable ready_;  // a job came, or shutdown
    std::condition_variable room_;   // a job was taken
    std::deque<std::function<void()>> jobs_;
    bool shutdown_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tavlin
