#include "remote/pending_reply.h"

#include <utility>

namespace tavlin {

void PendingReply::ReplaceReply(const std::string& text) {
    Store(text, true);
}

void PendingReply::AppendReply(const std::string& text) {
    Store(text, false);
}

void PendingReply::Store(const std::string& text, bool replace) {
    std::lock_guard lock(mutex_);
    if ((replace ? 0 : text_.size()) + text.size() > kLargestReply) {
        dropped_ = true;
        return;
    }
    if (replace) {
        text_ = text;
    } else {
        text_ += text;
    }
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

bool PendingReply::TakeDropped() {
    std::lock_guard lock(mutex_);
    return std::exchange(dropped_, false);
}

}  // namespace tavlin
