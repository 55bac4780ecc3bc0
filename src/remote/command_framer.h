#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tavlin {

// Cuts a stream of characters into commands the way the automation server
// reads its command port: ";", carriage return and line feed end a command,
// blanks before it are dropped, and a command of two characters or fewer is
// ignored. A terminator with nothing before it (the line feed of a CR LF
// pair, a ";" after a line end) ends nothing and is dropped, so every
// common line end works.
//
// The pending text is bounded: a client that sends on without a terminator
// would otherwise fill the memory. A command that grows past kLongestCommand
// is dropped, with everything up to its terminator.
class CommandFramer {
  public:
    static constexpr std::size_t kLongestCommand = 64 * 1024;

    // The command the character completes, if any.
    std::optional<std::string> Add(char c);
    // At the end of the input: what is pending, as if a terminator followed.
    std::optional<std::string> Finish();
    // True once for each command dropped as too long.
    bool TakeOverflow() { return std::exchange(overflow_, false); }

  private:
    std::optional<std::string> TakePending();

    std::string pending_;
    bool dropping_ = false;
    bool overflow_ = false;
};

}  // namespace tavlin
