#include "remote/pending_reply.h"

#include <utility>

namespace tavlin {

void PendingReply::AppendReply(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ += text;
}

bool PendingReply::Ready() const {
    std::lock_guard lock(mutex_);
    return !text_.empty();
}

std::size_t PendingReply::Size() const {
    std::lock_guard lock(mutex_);
    return text_.size();
}

std::string PendingReply::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(text_, {});
}

void PendingReply::PutBack(std::string text) {
    std::lock_guard lock(mutex_);
    text_ = std::move(text) + text_;
}

}  // namespace tavlin
