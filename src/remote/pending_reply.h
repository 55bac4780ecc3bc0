#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "remote/reply_sink.h"

namespace tavlin {

// The reply text waiting for the data port and its ready flag, shared by the
// thread that interprets commands and the one that hands replies to the data
// port's client. The text is taken and the flag cleared under one hold of
// the lock, so a reply added meanwhile is never lost between the two.
//
// The text is bounded: with no client reading the data port it would grow
// with every query. A reply that does not fit beside the text still waiting
// is dropped, and the next TakeDropped says so.
class PendingReply final : public ReplySink {
  public:
    static constexpr std::size_t kLargestReply = 64 * 1024;

    void ReplaceReply(const std::string& text) override;
    void AppendReply(const std::string& text) override;

    // True when a reply arrived since the last Take.
    bool Ready() const;
    // The text waiting to be sent, cleared with the ready flag.
    std::string Take();
    // True once after one or more replies were dropped.
    bool TakeDropped();

  private:
    void Store(const std::string& text, bool replace);

    mutable std::mutex mutex_;
    std::string text_;
    bool ready_ = false;
    bool dropped_ = false;
};

}  // namespace tavlin
