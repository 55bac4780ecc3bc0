#pragma once

#include <mutex>
#include <ostream>
#include <utility>

#include "app/console_answers.h"
#include "ports/prompter.h"

namespace tavlin {

// Message boxes of the console: "CAPTION: text" on the error stream; Yes/No
// boxes take the answers given on the command line.
//
// A server's boxes come from its clients (one per bad command) and nobody
// reads them as they come: there they go to the log as warnings under
// their caption, where a burst is summarised and a full pipe never holds
// the server.
class ConsolePrompter final : public Prompter {
  public:
    enum class Boxes { kOnStream, kToLog };

    ConsolePrompter(std::ostream& out, ConsoleAnswers answers, Boxes boxes = Boxes::kOnStream)
        : out_(out), answers_(std::move(answers)), boxes_(boxes) {}

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override;

  private:
    std::mutex mutex_;
    std::ostream& out_;
    ConsoleAnswers answers_;
    Boxes boxes_;
};

}  // namespace tavlin
