#include "dsp/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "dsp/fft.h"

namespace tavlin {
namespace {

// The flat top reads a tone's level to within 0.02 dB wherever it falls
// between two bins and keeps its side lobes 68 dB down (80 dB from 16 bins
// on); the Nuttall window trades flatness for a main lobe of 4 bins and side
// lobes 93 dB down. Each region is bins from the centre and the levels (dB
// relative to the centre) the spectrum, zero padded to 16 points a bin, must
// lie between there.
TEST(MakeWindow, SpectraStayWithinTheirMasks) {
    struct Region {
        int type;
        double fromBins, toBins, minDb, maxDb;
    };
    const Region mask[] = {
        {kFlatTopWindow, 0.0, 0.5, -0.02, 0.01},      {kFlatTopWindow, 5.0, 128.0, -400.0, -68.0},
        {kFlatTopWindow, 16.0, 128.0, -400.0, -80.0}, {kNuttallWindow, 0.0, 0.5, -0.85, 0.0},
        {kNuttallWindow, 4.0, 128.0, -400.0, -93.0},
    };
    for (const Region& region : mask) {
        const std::size_t padded = 256 * 16;
        std::vector<double> re(padded, 0.0), im(padded, 0.0), outRe(padded), outIm(padded);
        MakeWindow(region.type, 256, re);
        Fft(padded).Forward(re, im, outRe, outIm);
        const double peak = outRe[0] * outRe[0] + outIm[0] * outIm[0];
        for (std::size_t k = 0; k < padded / 2; ++k) {
            const double bins = static_cast<double>(k) / 16.0;
            const double power = outRe[k] * outRe[k] + outIm[k] * outIm[k];
            const double db = 10.0 * std::log10(std::max(power / peak, 1e-30));
            if (bins >= region.fromBins && bins <= region.toBins) {
                ASSERT_GE(db, region.minDb) << "type " << region.type << " at " << bins;
                ASSERT_LE(db, region.maxDb) << "type " << region.type << " at " << bins;
            }
        }
    }
}

// A window of one point (no n - 1 to divide by) passes its sample.
TEST(MakeWindow, DegenerateLengthsAndBadArguments) {
    std::vector<double> shortOut(3);
    MakeWindow(kFlatTopWindow, 1, shortOut);
    EXPECT_EQ(shortOut[0], 1.0);
    EXPECT_NO_THROW(MakeWindow(kNuttallWindow, 0, shortOut));
    EXPECT_THROW(MakeWindow(kFlatTopWindow, 4, shortOut), std::invalid_argument);
    EXPECT_THROW(MakeWindow(2, 3, shortOut), std::invalid_argument);
    EXPECT_THROW(MakeWindow(-1, 3, shortOut), std::invalid_argument);
    std::vector<double> four(4);
    EXPECT_THROW(ApplyWindow(4, four, four, shortOut), std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
