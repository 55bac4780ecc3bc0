#pragma once

#include <string>

namespace tavlin {

enum class PromptButtons { Ok, YesNo };
enum class PromptAnswer { Ok, Yes, No };

// Modal message boxes. Called from any thread; the caller waits for the
// answer, as a modal box holds the sweep on the instrument's own software.
class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual PromptAnswer Show(const std::string& text, const std::string& caption,
                              PromptButtons buttons) = 0;

    void Inform(const std::string& text, const std::string& caption) {
        Show(text, caption, PromptButtons::Ok);
    }
    bool AskYesNo(const std::string& text, const std::string& caption) {
        return Show(text, caption, PromptButtons::YesNo) == PromptAnswer::Yes;
    }
    // A tone that calls the operator at the bench; nothing where nobody
    // listens. Returns at once.
    virtual void Beep(int /*frequencyHz*/, int /*durationMs*/) {}
};

}  // namespace tavlin
