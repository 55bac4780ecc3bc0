#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavlin {

// The phase-noise plot as saved: 850 x 620 pixels, 32 bits each, 0x00RRGGBB,
// rows from the top.
struct PlotImage {
    static constexpr int kWidth = 850;
    static constexpr int kHeight = 620;
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kWidth * kHeight, 0);
};

// Black on white with the blue grid kept: the screen's black background
// becomes white, the grid blue (0, 0, 192) stays and every other colour
// (trace, labels) becomes black.
void RecolourForPrint(PlotImage& image);

// Writes the image as an uncompressed 32-bit bitmap (14-byte file header,
// 40-byte information header, no colour table, rows bottom-up) through a
// temporary file beside `path` that is renamed over it once complete, so a
// failed save never leaves a half-written plot nor spoils an earlier one.
// Returns an empty text, or the name of the step that failed ("GetDIBits"
// for an image that is not 850 x 620, "CreateFile",
// "WriteFile", "CloseHandle", "Rename"); nothing after it is attempted.
std::string WritePlotBitmap(const PlotImage& image, const std::filesystem::path& path);

}  // namespace tavlin
