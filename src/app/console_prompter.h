#pragma once

#include <mutex>
#include <ostream>
#include <utility>

#include "app/console_answers.h"
#include "ports/prompter.h"

namespace tavlin {

// Message boxes of the console: "CAPTION: text" on the error stream; Yes/No
// boxes take the answers given on the command line.
class ConsolePrompter final : public Prompter {
  public:
    ConsolePrompter(std::ostream& out, ConsoleAnswers answers)
        : out_(out), answers_(std::move(answers)) {}

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override;

  private:
    std::mutex mutex_;
    std::ostream& out_;
    ConsoleAnswers answers_;
};

}  // namespace tavlin
