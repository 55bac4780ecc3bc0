#pragma once

#include <mutex>
#include <ostream>

#include "ports/prompter.h"

namespace tavlin {

// Message boxes of the console: "CAPTION: text" on the error stream; Yes/No
// boxes take the answer given on the command line.
class ConsolePrompter final : public Prompter {
  public:
    ConsolePrompter(std::ostream& out, bool answerYes) : out_(out), answerYes_(answerYes) {}

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override;

  private:
    std::mutex mutex_;
    std::ostream& out_;
    bool answerYes_;
};

}  // namespace tavlin
