#include "base/plot_bitmap.h"

#include <cstdio>
#include <system_error>

namespace tavlin {

namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kGridBlue = 0x0000C0;
constexpr std::uint32_t kBitsPerPixel = 32;
constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
// Rows are padded to whole 32-bit words.
constexpr std::uint32_t kRowBytes = ((PlotImage::kWidth * kBitsPerPixel + 31) & ~31u) / 8;
constexpr std::uint32_t kImageBytes = kRowBytes * PlotImage::kHeight;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

std::vector<std::uint8_t> FileHeader() {
    std::vector<std::uint8_t> out = {'B', 'M'};
    Put32(out, kFileHeaderBytes + kInfoHeaderBytes + kImageBytes);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, kFileHeaderBytes + kInfoHeaderBytes);  // no colour table at 32 bits
    return out;
}

std::vector<std::uint8_t> InfoHeader() {
    std::vector<std::uint8_t> out;
    Put32(out, kInfoHeaderBytes);
    Put32(out, PlotImage::kWidth);
    Put32(out, PlotImage::kHeight);  // positive: bottom-up rows
    Put16(out, 1);                   // planes
    Put16(out, kBitsPerPixel);
    Put32(out, 0);  // uncompressed
    Put32(out, kImageBytes);
    Put32(out, 0);  // horizontal and vertical resolution
    Put32(out, 0);
    Put32(out, 0);  // colours used: none below 24 bits
    Put32(out, 0);  // important colours
    return out;
}

// Blue, green, red and an unused byte per pixel, the bottom row first.
std::vector<std::uint8_t> PixelData(const PlotImage& image) {
    std::vector<std::uint8_t> out;
    out.reserve(kImageBytes);
    for (int y = PlotImage::kHeight - 1; y >= 0; --y) {
        for (int x = 0; x < PlotImage::kWidth; ++x) {
            Put32(out,
                  image.pixels[static_cast<std::size_t>(y) * PlotImage::kWidth + x] & 0xFFFFFF);
        }
    }
    return out;
}

}  // namespace

void RecolourForPrint(PlotImage& image) {
    for (std::uint32_t& pixel : image.pixels) {
        const std::uint32_t rgb = pixel & 0xFFFFFF;
        pixel = rgb == kBlack ? kWhite : rgb == kGridBlue ? kGridBlue : kBlack;
    }
}

std::string WritePlotBitmap(const PlotImage& image, const std::filesystem::path& path) {
    if (image.pixels.size() != static_cast<std::size_t>(PlotImage::kWidth) * PlotImage::kHeight) {
        return "GetDIBits";  // not a whole plot: nothing to convert
    }
    std::error_code error;
    std::filesystem::path temporary = path;
    temporary += ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return "CreateFile";
    }
    for (const std::vector<std::uint8_t>& part : {FileHeader(), InfoHeader(), PixelData(image)}) {
        if (std::fwrite(part.data(), 1, part.size(), file) != part.size()) {
            std::fclose(file);
            std::filesystem::remove(temporary, error);
            return "WriteFile";
        }
    }
    if (std::fclose(file) != 0) {
        std::filesystem::remove(temporary, error);
        return "CloseHandle";
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return "Rename";
    }
    return {};
}

}  // namespace tavlin
