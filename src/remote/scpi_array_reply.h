#pragma once

#include <functional>
#include <span>
#include <string>

namespace tavlin {

// FORMat[:DATA]: arrays as ASCII numbers or as 32-bit floats.
enum class ScpiDataFormat { kAscii, kReal32 };

// An array reply: ASCII numbers (each written by `text`) separated by
// commas, or an IEEE 488.2 definite-length block ("#42564" and 641 x 4
// bytes) of IEEE 754 single-precision values, big-endian as SCPI defines
// unless `swapped` (FORMat:BORDer SWAPped: least significant byte first).
std::string ScpiArrayReply(std::span<const double> values, ScpiDataFormat format, bool swapped,
                           const std::function<std::string(double)>& text);

}  // namespace tavlin
