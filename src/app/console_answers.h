#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlin {

// How the console answers Yes/No questions: one answer for all, and answers
// for particular questions, each picked by a key that is the box's caption
// or a piece of its text ("TRY AGAIN?", "DOUBLE_CHECK CONNECTIONS"), compared
// without regard to case. The first key that fits wins; a question no key
// fits takes the answer for all.
class ConsoleAnswers {
  public:
    explicit ConsoleAnswers(bool answerYes = false) : fallbackYes_(answerYes) {}

    // "yes" or "no" sets the answer for all; "KEY=yes" or "KEY=no" adds an
    // answer for one question. False (nothing changed) for anything else.
    bool Add(std::string_view option);
    // One option per line ('#' starts a comment, blank lines are skipped);
    // nothing, with `error` naming the file and the line, when a line is
    // not an answer or the file cannot be read.
    bool AddFile(const std::filesystem::path& path, std::string& error);

    bool Answer(std::string_view text, std::string_view caption) const;

  private:
    struct Keyed {
        std::string key;  // upper case
        bool yes = false;
    };
    bool fallbackYes_;
    std::vector<Keyed> keyed_;
};

}  // namespace tavlin
