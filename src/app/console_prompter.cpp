#include "app/console_prompter.h"

#include "ports/log.h"

namespace tavlin {

PromptAnswer ConsolePrompter::Show(const std::string& text, const std::string& caption,
                                   PromptButtons buttons) {
    // The instrument's texts carry CR LF line ends; a terminal wants LF.
    std::string oneLine;
    for (char c : text) {
        if (c != '\r') {
            oneLine += c;
        }
    }
    if (boxes_ == Boxes::kToLog) {
        LogWarning(caption, oneLine);
    } else {
        std::lock_guard lock(mutex_);
        out_ << caption << ": " << oneLine << '\n' << std::flush;
    }
    if (buttons == PromptButtons::YesNo) {
        return answers_.Answer(text, caption) ? PromptAnswer::Yes : PromptAnswer::No;
    }
    return PromptAnswer::Ok;
}

}  // namespace tavlin
