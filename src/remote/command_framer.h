#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tavlin {

// Which characters end a command, and how short a command may be before it
// is ignored.
struct FramingRules {
    std::string_view terminators;
    std::size_t shortest;
};

// The automation language: ";", carriage return and line feed end a
// command, and a command of two characters or fewer is ignored.
inline constexpr FramingRules kAutomationFraming{";\r\n", 3};
// Program messages of a line protocol (SCPI): a line feed ends one; a
// carriage return before it stays for the parser, which drops it as blank.
inline constexpr FramingRules kLineFraming{"\n", 1};

// Cuts a stream of characters into commands. Blanks before a command are
// dropped. A terminator with nothing before it (the line feed of a CR LF
// pair, a ";" after a line end) ends nothing and is dropped, so every
// common line end works.
//
// The pending text is bounded: a client that sends on without a terminator
// would otherwise fill the memory. A command that grows past kLongestCommand
// is dropped, with everything up to its terminator.
class CommandFramer {
  public:
    static constexpr std::size_t kLongestCommand = 64 * 1024;

    explicit CommandFramer(FramingRules rules = kAutomationFraming) : rules_(rules) {}

    // The command the character completes, if any.
    std::optional<std::string> Add(char c);
    // At the end of the input: what is pending, as if a terminator followed.
    std::optional<std::string> Finish();
    // True once for each command dropped as too long.
    bool TakeOverflow() { return std::exchange(overflow_, false); }

  private:
    std::optional<std::string> TakePending();

    FramingRules rules_;
    std::string pending_;
    bool dropping_ = false;
    bool overflow_ = false;
};

}  // namespace tavlin
