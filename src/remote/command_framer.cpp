#include "remote/command_framer.h"

namespace tavlin {

std::optional<std::string> CommandFramer::Add(char c) {
    if (rules_.terminators.find(c) != std::string_view::npos) {
        if (std::exchange(dropping_, false)) {
            return std::nullopt;
        }
        return TakePending();
    }
    if (dropping_) {
        return std::nullopt;
    }
    pending_.push_back(c);
    if (pending_.size() > kLongestCommand) {
        std::string().swap(pending_);
        dropping_ = true;
        overflow_ = true;
    }
    return std::nullopt;
}

std::optional<std::string> CommandFramer::Finish() {
    if (std::exchange(dropping_, false)) {
        return std::nullopt;
    }
    return TakePending();
}

std::optional<std::string> CommandFramer::TakePending() {
    const auto first = pending_.find_first_not_of(" \t");
    std::string command = first == std::string::npos ? std::string() : pending_.substr(first);
    pending_.clear();
    if (command.size() < rules_.shortest) {
        return std::nullopt;
    }
    return command;
}

}  // namespace tavlin
