#pragma once

#include <cstdint>

namespace tavlin {

// A colour of the screen, 8 bits a channel in sRGB.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// How bright a colour looks, from 0 (black) to 1 (white): the channels taken
// back to linear light and weighted as the eye weighs them (WCAG 2).
double RelativeLuminance(Rgb colour);

// How well one colour reads on another, from 1 (the same) to 21 (black on
// white), whichever way round they are. Normal text wants 4.5 at least.
double ContrastRatio(Rgb a, Rgb b);

}  // namespace tavlin
