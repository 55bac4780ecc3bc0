#include <gtest/gtest.h>

#include "base/plot_bitmap.h"
#include "support/test_directory.h"

namespace tavlin::test {
namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

TEST(PlotBitmapTest, HeadersSizeAndBottomUpPixelsOfA32BitPlot) {
    const std::filesystem::path dir = MakeTestDirectory("plot-bitmap");
    PlotImage image;
    image.pixels[0] = 0x123456;              // top-left
    image.pixels[619 * 850 + 1] = 0xABCDEF;  // bottom row, second pixel
    const std::filesystem::path path = dir / "PhaseNoise.bmp";
    ASSERT_EQ(WritePlotBitmap(image, path), "");
    const std::vector<std::uint8_t> b = ReadFileBytes(path);
    ASSERT_EQ(b.size(), 54u + 3400u * 620u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    const std::vector<std::pair<std::size_t, std::uint32_t>> fields = {
        {2, 2108054}, {6, 0},        {10, 54}, {14, 40}, {18, 850}, {22, 620}, {26, 1 | 32 << 16},
        {30, 0},      {34, 2108000}, {38, 0},  {42, 0},  {46, 0},   {50, 0}};
    for (const auto& [at, value] : fields) {
        EXPECT_EQ(U32(b, at), value) << "field at byte " << at;
    }
    EXPECT_EQ(U32(b, 54 + 4), 0xABCDEFu);
    EXPECT_EQ(U32(b, 54 + 619 * 3400), 0x123456u);
    std::filesystem::remove_all(dir);
}

TEST(PlotBitmapTest, RecoloursBlackOnWhiteAndAFailedSaveKeepsTheOldFile) {
    PlotImage image;
    image.pixels[0] = 0x0000C0;
    image.pixels[1] = 0x00FF00;
    image.pixels[2] = 0xFFFF00;
    RecolourForPrint(image);
    EXPECT_EQ(image.pixels[0], 0x0000C0u);
    EXPECT_EQ(image.pixels[1], 0u);
    EXPECT_EQ(image.pixels[2], 0u);
    EXPECT_EQ(image.pixels[3], 0xFFFFFFu);

    const std::filesystem::path dir = MakeTestDirectory("plot-bitmap");
    EXPECT_EQ(WritePlotBitmap(image, dir / "missing" / "p.bmp"), "CreateFile");
    const std::filesystem::path folder = dir / "taken";
    std::filesystem::create_directories(folder / "inside");
    EXPECT_EQ(WritePlotBitmap(image, folder), "Rename");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "inside"));
    EXPECT_FALSE(std::filesystem::exists(folder.string() + ".part"));
    image.pixels.pop_back();
    EXPECT_EQ(WritePlotBitmap(image, dir / "short.bmp"), "GetDIBits");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tavlin::test
