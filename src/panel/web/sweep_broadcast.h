#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tavlin {

// The newest screen of the analyzer, encoded once for every page that
// watches it. A watcher waits for a message newer than the one it sent last
// and gets only the newest: a slow watcher skips sweeps and never holds more
// than one message, so it costs no memory and delays nobody else.
class SweepBroadcast {
  public:
    struct Message {
        std::uint64_t seq = 0;  // 1 for the first message, counting up
        std::shared_ptr<const std::string> text;
    };

    void Publish(std::string text);
    // The newest message when it is newer than `seenSeq`, as soon as there is
    // one; nothing after `timeout`, or at once once closed.
    std::optional<Message> WaitNewer(std::uint64_t seenSeq, std::chrono::milliseconds timeout);
    // The newest message without waiting (seq 0 and no text before the first).
    Message Latest() const;
    // Wakes every watcher for good: the server is stopping.
    void Close();
    bool Closed() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Message latest_;
    bool closed_ = false;
};

}  // namespace tavlin
