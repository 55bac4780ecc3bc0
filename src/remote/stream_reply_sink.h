#pragma once

#include <mutex>
#include <ostream>

#include "remote/reply_sink.h"

namespace tavlin {

// Replies written straight to a stream as the data port would carry them.
class StreamReplySink final : public ReplySink {
  public:
    explicit StreamReplySink(std::ostream& out) : out_(out) {}
    void AppendReply(const std::string& text) override {
        std::lock_guard lock(mutex_);
        out_ << text << std::flush;
    }

  private:
    std::mutex mutex_;
    std::ostream& out_;
};

}  // namespace tavlin
