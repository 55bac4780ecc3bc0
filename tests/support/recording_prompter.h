#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ports/prompter.h"

namespace tavlin::test {

// Records every message box and answers Yes/No boxes from a script (No when
// the script is empty). Safe to call from several threads.
class RecordingPrompter final : public Prompter {
  public:
    struct Box {
        std::string text;
        std::string caption;
        PromptButtons buttons;
    };

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override {
        if (whileShown) {
            whileShown();
        }
        PromptAnswer answer = PromptAnswer::Ok;
        {
            std::lock_guard lock(mutex_);
            boxes_.push_back({text, caption, buttons});
            if (buttons == PromptButtons::YesNo) {
                answer = PromptAnswer::No;
                if (!answers_.empty()) {
                    answer = answers_.front() ? PromptAnswer::Yes : PromptAnswer::No;
                    answers_.pop_front();
                }
            }
        }
        return answer;
    }

    // Runs as a box opens, before it is recorded (a box that stays open
    // until something happens). Set it before the boxes come.
    std::function<void()> whileShown;

    void QueueAnswer(bool yes) {
        std::lock_guard lock(mutex_);
        answers_.push_back(yes);
    }
    std::vector<Box> Boxes() const {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    // Every box as "caption: text", a line each.
    std::string Text() const {
        std::string all;
        for (const Box& box : Boxes()) {
            all += box.caption + ": " + box.text + "\n";
        }
        return all;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex_);
        return boxes_.size();
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        boxes_.clear();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    std::deque<bool> answers_;
};

}  // namespace tavlin::test
