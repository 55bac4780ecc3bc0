#include "dsp/window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <stdexcept>
#include <vector>

#include "dsp/fft.h"

namespace tavlin {
namespace {

std::vector<double> Window(int type, std::size_t n) {
    std::vector<double> w(n);
    MakeWindow(type, n, w);
    return w;
}

// A region of a window's spectrum, in bins from the centre, and the levels
// (dB relative to the centre) every point in it must lie between.
struct MaskRegion {
    double fromBins;
    double toBins;
    double minDb;
    double maxDb;
};

// Spectrum of a window of n points, zero padded so that 16 points fall in
// each bin, in dB relative to its value at the centre.
std::vector<double> SpectrumDb(const std::vector<double>& window) {
    const std::size_t padded = window.size() * 16;
    std::vector<double> re(padded, 0.0), im(padded, 0.0), outRe(padded), outIm(padded);
    std::copy(window.begin(), window.end(), re.begin());
    Fft(padded).Forward(re, im, outRe, outIm);
    const double peak = outRe[0] * outRe[0] + outIm[0] * outIm[0];
    std::vector<double> db(padded / 2);
    for (std::size_t k = 0; k < db.size(); ++k) {
        const double power = outRe[k] * outRe[k] + outIm[k] * outIm[k];
        db[k] = 10.0 * std::log10(std::max(power / peak, 1e-30));
    }
    return db;
}

void ExpectWithinMask(int type, const std::vector<MaskRegion>& mask) {
    const std::vector<double> db = SpectrumDb(Window(type, 256));
    for (const MaskRegion& region : mask) {
        for (std::size_t k = 0; k < db.size(); ++k) {
            const double bins = static_cast<double>(k) / 16.0;
            if (bins < region.fromBins || bins > region.toBins) {
                continue;
            }
            EXPECT_GE(db[k], region.minDb) << "type " << type << " at " << bins << " bins";
            EXPECT_LE(db[k], region.maxDb) << "type " << type << " at " << bins << " bins";
        }
    }
}

// Both windows sum to N (mean 1: a tone on a bin keeps its power through
// the window and the 1/N-scaled transform). The flat top's ends are
// 1 - 1.93 + 1.29 - 0.388 + 0.032 = 0.004 before scaling, its centre
// 1 + 1.93 + 1.29 + 0.388 + 0.032; the Nuttall window is zero at its ends.
TEST(MakeWindow, SumsToNWithTheEndsAndCentreOfItsCosines) {
    for (std::size_t n : {std::size_t{5}, std::size_t{16}, std::size_t{513}, std::size_t{65537}}) {
        const std::vector<double> flat = Window(kFlatTopWindow, n);
        const std::vector<double> nuttall = Window(kNuttallWindow, n);
        for (const auto* w : {&flat, &nuttall}) {
            EXPECT_NEAR(std::accumulate(w->begin(), w->end(), 0.0), static_cast<double>(n),
                        1e-9 * n);
            EXPECT_EQ((*w)[1], (*w)[n - 2]);
        }
        if (n % 2 == 1) {
            EXPECT_NEAR(flat[0] / flat[(n - 1) / 2], 0.004 / 4.64, 1e-13) << n;
        }
        EXPECT_EQ(flat[0], flat[n - 1]);
        EXPECT_NEAR(nuttall[0], 0.0, 1e-15);
        EXPECT_NEAR(nuttall[n - 1], 0.0, 1e-15);
    }
    // Over n points the cosines sum to 1 each (n - 1 points make whole periods,
    // the last adds cos 2 pi k), so the unscaled sum is n a0 - a0 and the centre,
    // 1.0 before scaling, becomes n / ((n - 1) a0).
    EXPECT_NEAR(Window(kNuttallWindow, 1001)[500], 1001.0 / (1000.0 * 0.355768), 1e-12);
}

// The flat top reads a tone's level to within 0.02 dB wherever it falls
// between two bins and keeps its side lobes 68 dB down (80 dB from 16 bins
// on); the Nuttall window trades flatness for a main lobe of 4 bins and side
// lobes 93 dB down.
TEST(MakeWindow, SpectraStayWithinTheirMasks) {
    ExpectWithinMask(kFlatTopWindow, {
                                         {0.0, 0.5, -0.02, 0.01},
                                         {5.0, 128.0, -400.0, -68.0},
                                         {16.0, 128.0, -400.0, -80.0},
                                     });
    ExpectWithinMask(kNuttallWindow, {
                                         {0.0, 0.5, -0.85, 0.0},
                                         {4.0, 128.0, -400.0, -93.0},
                                     });
}

TEST(MakeWindow, DegenerateLengthsAndBadArguments) {
    EXPECT_EQ(Window(kFlatTopWindow, 1), std::vector<double>{1.0});
    EXPECT_NO_THROW(Window(kNuttallWindow, 0));
    std::vector<double> shortOut(3);
    EXPECT_THROW(MakeWindow(kFlatTopWindow, 4, shortOut), std::invalid_argument);
    EXPECT_THROW(MakeWindow(2, 3, shortOut), std::invalid_argument);
    EXPECT_THROW(MakeWindow(-1, 3, shortOut), std::invalid_argument);
}

TEST(ApplyWindow, MultipliesBothPartsOfTheFirstNSamples) {
    std::vector<double> re{1.0, 2.0, 3.0, 4.0};
    std::vector<double> im{-1.0, -2.0, -3.0, -4.0};
    const std::vector<double> w{0.5, 2.0, 0.0};
    ApplyWindow(3, re, im, w);
    EXPECT_EQ(re, (std::vector<double>{0.5, 4.0, 0.0, 4.0}));
    EXPECT_EQ(im, (std::vector<double>{-0.5, -4.0, 0.0, -4.0}));
    EXPECT_THROW(ApplyWindow(4, re, im, w), std::invalid_argument);
}

}  // namespace
}  // namespace tavlin
