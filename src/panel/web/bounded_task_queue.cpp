#include "panel/web/bounded_task_queue.h"

namespace tavlin {

BoundedTaskQueue::BoundedTaskQueue(std::size_t threads, std::size_t maxQueued)
    : maxQueued_(maxQueued) {
    for (std::size_t i = 0; i < threads; ++i) {
        threads_.emplace_back([this] { Work(); });
    }
}

BoundedTaskQueue::~BoundedTaskQueue() {
    shutdown();
}

// Once shutting down a connection is still queued, so that it is served and
// closed rather than leaked; the threads finish the queue before they end.
void BoundedTaskQueue::enqueue(std::function<void()> fn) {
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return shutdown_ || jobs_.size() < maxQueued_; });
        jobs_.push_back(std::move(fn));
    }
    ready_.notify_one();
}

void BoundedTaskQueue::shutdown() {
    {
        std::lock_guard lock(mutex_);
        shutdown_ = true;
    }
    ready_.notify_all();
    room_.notify_all();
    for (std::thread& t : threads_) {
        if (t.joinable()) {
            t.join();
        }
    }
}

void BoundedTaskQueue::Work() {
    while (true) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [this] { return shutdown_ || !jobs_.empty(); });
            if (jobs_.empty()) {
                return;
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        room_.notify_one();
        job();
    }
}

}  // namespace tavlin
