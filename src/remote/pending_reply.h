#pragma once

#include <mutex>
#include <string>

#include "remote/reply_sink.h"

namespace tavlin {

// The reply text waiting for the data port and its ready flag, shared by the
// thread that interprets commands and the thread that sends replies.
class PendingReply final : public ReplySink {
  public:
    void ReplaceReply(const std::string& text) override;
    void AppendReply(const std::string& text) override;

    // True when a reply arrived since the last Take.
    bool Ready() const;
    // The text waiting to be sent, cleared with the ready flag.
    std::string Take();

  private:
    mutable std::mutex mutex_;
    std::string text_;
    bool ready_ = false;
};

}  // namespace tavlin
