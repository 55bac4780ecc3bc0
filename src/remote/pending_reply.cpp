#include "remote/pending_reply.h"

#include <utility>

namespace tavlin {

void PendingReply::ReplaceReply(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
    ready_ = true;
}

void PendingReply::AppendReply(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ += text;
    ready_ = true;
}

bool PendingReply::Ready() const {
    std::lock_guard lock(mutex_);
    return ready_;
}

std::string PendingReply::Take() {
    std::lock_guard lock(mutex_);
    ready_ = false;
    return std::exchange(text_, {});
}

}  // namespace tavlin
