#pragma once

#include <mutex>
#include <ostream>

#include "ports/prompter.h"

namespace tavlin {

// Message boxes of the console: "CAPTION: text" on the error stream; Yes/No
// boxes take the answer given on the command line.
//
// A server's boxes come from its clients (one per bad command) and nobody
// reads them as they come: there they go to the log as warnings under
// their caption, where a burst is summarised and a full pipe never holds
// the server.
class ConsolePrompter final : public Prompter {
  public:
    enum class Boxes { kOnStream, kToLog };

    ConsolePrompter(std::ostream& out, bool answerYes, Boxes boxes = Boxes::kOnStream)
        : out_(out), answerYes_(answerYes), boxes_(boxes) {}

    PromptAnswer Show(const std::string& text, const std::string& caption,
                      PromptButtons buttons) override;

  private:
    std::mutex mutex_;
    std::ostream& out_;
    bool answerYes_;
    Boxes boxes_;
};

}  // namespace tavlin
