#pragma once

#include <mutex>
#include <ostream>

#include "remote/reply_sink.h"

namespace tavlin {

// Replies written straight to a stream as the data port would carry them:
// with nothing held back, replacing and appending are the same.
class StreamReplySink final : public ReplySink {
  public:
    explicit StreamReplySink(std::ostream& out) : out_(out) {}
    void ReplaceReply(const std::string& text) override { Write(text); }
    void AppendReply(const std::string& text) override { Write(text); }

  private:
    void Write(const std::string& text) {
        std::lock_guard lock(mutex_);
        out_ << text << std::flush;
    }
    std::mutex mutex_;
    std::ostream& out_;
};

}  // namespace tavlin
