#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavlin {

// The program's one way between numbers and text for everything that
// leaves it or comes in (files, sockets, the GPIB bench, command lines).
// Both directions ignore the user's locale: a German desktop writes and
// reads "-12.34", never "-12,34", since the other side is a script, a
// power meter or a file made elsewhere.

// printf-style formatting into a string that is always as long as the text
// needs: a level or frequency of any size (1e300 with nine decimals) is
// written whole, never past a buffer.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The number at the start of `text`, read as strtod would in the "C"
// locale: blanks and one "+" before it are skipped, hexadecimal is not
// taken. `used` gets the characters read (0 and no value when the text does
// not start with a number). A number past the range of a double reads as an
// infinity of its sign, as strtod gives it.
std::optional<double> ReadNumberPrefix(std::string_view text, std::size_t& used);

// The whole text as one finite number (blanks around it allowed), or none.
std::optional<double> ReadFiniteNumber(std::string_view text);

}  // namespace tavlin
