#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "remote/reply_sink.h"

namespace tavlin {

// The reply text waiting for the data port, shared by the thread that
// interprets commands and the one that hands replies to the data port's
// client. Text is only ever added at the end; what was taken and could not
// be sent goes back in front, so the order of the replies never changes.
//
// The store itself takes every reply. Its owner keeps it near
// kLargestReply: past it, the command thread waits for the data port's
// client to read instead of interpreting further queries.
class PendingReply final : public ReplySink {
  public:
    static constexpr std::size_t kLargestReply = 64 * 1024;

    void AppendReply(const std::string& text) override;

    // True while text waits.
    bool Ready() const;
    std::size_t Size() const;
    // The text waiting to be sent, cleared.
    std::string Take();
    // Text from Take that was not sent, back in front of anything added since.
    void PutBack(std::string text);

  private:
    mutable std::mutex mutex_;
    std::string text_;
};

}  // namespace tavlin
