#pragma once

#include <optional>
#include <string>

namespace tavlin {

// One automation command split the way the language reads it:
//
//   GROUP{:| }REST          REST = ITEM ARGUMENT
//
// Only the first three letters of the group and of the item count, in any
// case. The item ends at the first of " ?-+1234567890." unless that is the
// rest's first character, in which case the item and the argument are both
// the whole rest. A "?" in the argument after its first character makes the
// command a query; otherwise the argument is read as a decimal number
// (leading blanks, sign and exponent allowed; reading stops at the first
// character that does not fit, so 100MHZ is 100; no number is 0).
class CommandText {
  public:
    // Nothing when there is no ":" or blank after a non-empty group.
    static std::optional<CommandText> Split(const std::string& text);

    std::string group;  // three letters at most, upper case
    std::string rest;   // as sent: a file name for REC and SAV
    std::string item;   // three letters at most, upper case
    std::string argument;
    bool query = false;
    double value = 0.0;  // 1.0 for a query
};

// The leading decimal number of a text, read the same whatever the program's
// locale: a comma never becomes the decimal point.
double ReadLeadingNumber(const std::string& text);

}  // namespace tavlin
