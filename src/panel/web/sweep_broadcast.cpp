#include "panel/web/sweep_broadcast.h"

namespace tavlin {

void SweepBroadcast::Publish(std::string text) {
    auto shared = std::make_shared<const std::string>(std::move(text));
    {
        std::lock_guard lock(mutex_);
        latest_ = {latest_.seq + 1, std::move(shared)};
    }
    changed_.notify_all();
}

std::optional<SweepBroadcast::Message> SweepBroadcast::WaitNewer(
    std::uint64_t seenSeq, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return closed_ || latest_.seq > seenSeq; });
    if (closed_ || latest_.seq <= seenSeq) {
        return std::nullopt;
    }
    return latest_;
}

SweepBroadcast::Message SweepBroadcast::Latest() const {
    std::lock_guard lock(mutex_);
    return latest_;
}

void SweepBroadcast::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool SweepBroadcast::Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace tavlin
