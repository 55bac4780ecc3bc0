#pragma once

#include <optional>
#include <string>

namespace tavlin {

// Cuts a stream of characters into commands the way the automation server
// reads its command port: ";", carriage return and line feed end a command,
// blanks before it are dropped, and a command of two characters or fewer is
// ignored. A terminator with nothing before it (the line feed of a CR LF
// pair, a ";" after a line end) ends nothing and is dropped, so every
// common line end works.
class CommandFramer {
  public:
    // The command the character completes, if any.
    std::optional<std::string> Add(char c);
    // At the end of the input: what is pending, as if a terminator followed.
    std::optional<std::string> Finish();

  private:
    std::optional<std::string> TakePending();

    std::string pending_;
};

}  // namespace tavlin
