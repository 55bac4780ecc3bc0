#pragma once

#include <string>

namespace tavlin {

// printf-style formatting into a string that is always as long as the text
// needs: a level or frequency of any size (1e300 with nine decimals) is
// written whole, never past a buffer.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tavlin
