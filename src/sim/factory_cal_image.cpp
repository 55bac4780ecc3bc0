#include "sim/factory_cal_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/cal_layout.h"
#include "sim/level_correction.h"

namespace tavlin::sim {

namespace {

constexpr double kHighBandStartHz = 150e6;
constexpr double kHighBandStepHz = 10e6;
constexpr double kLowBandStepHz = 1e6;
constexpr double kRolloffStartHz = 300e3;
constexpr double kRolloffStepHz = 50e3;
constexpr int kReferenceRow = 2;  // the absolute level is measured at 10 dB
// The factory measures the low band from 10 MHz up and copies the 10 MHz
// entry below it.
constexpr std::size_t kFirstMeasuredLowEntry = 9;

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 254L));
}

LevelSettings NormalGain(int row, bool preampFitted, bool highBand) {
    return LevelSettings{row, 1, preampFitted, false, highBand};
}

}  // namespace

CalMemory::Image FactoryCalImage::Measure(const Scene& scene, const TrueResponse& truth) {
    CalMemory::Image image;
    image.fill(0xFF);  // the part past the table is never written
    std::fill(image.begin(), image.begin() + CalLayout::kCachedBytes, 0);
    const bool preamp = scene.PreampFitted();
    FillScalars(image, scene, truth);
    SetAbsoluteLevels(image, preamp, truth);
    FillFlatness(image, preamp, truth);
    FillIfFlatness(image, truth);
    FillPreamp(image, truth);
    return image;
}

CalMemory::Image FactoryCalImage::MemoryContents(const Scene& scene, const TrueResponse& truth) {
    if (scene.calibration == SceneCalibration::Blank) {
        CalMemory::Image erased;
        erased.fill(0xFF);
        return erased;
    }
    return Measure(scene, truth);
}

void FactoryCalImage::FillScalars(CalMemory::Image& image, const Scene& scene,
                                  const TrueResponse& truth) {
    std::memcpy(image.data() + CalLayout::kCalDate, kCalDate, std::strlen(kCalDate));
    image[CalLayout::kIfGain2_9Low] = ToByte(10.0 * truth.SecondIfOffsetDb(false));
    image[CalLayout::kIfGain2_9High] = ToByte(10.0 * truth.SecondIfOffsetDb(true));
    image[CalLayout::kBroadbandPower] = kBroadbandPower;
    // Step dB = word x 0.02 + 16 - 2.56 (gain state 0) or + 12 - 2.56 (state 2).
    const LevelSettings lowGain{kReferenceRow, 0, false, false, true};
    const LevelSettings normal = NormalGain(kReferenceRow, false, true);
    const LevelSettings highGain{kReferenceRow, 2, false, false, true};
    const double lowStepDb = truth.CorrectionDb(kHighBandStartHz, lowGain) -
                             truth.CorrectionDb(kHighBandStartHz, normal);
    const double highStepDb = truth.CorrectionDb(kHighBandStartHz, normal) -
                              truth.CorrectionDb(kHighBandStartHz, highGain);
    PutWord(image, CalLayout::kLowGainStep, std::lround((lowStepDb - 13.44) / 0.02));
    PutWord(image, CalLayout::kHighGainStep, std::lround((highStepDb - 9.44) / 0.02));
    PutWord(image, CalLayout::kTcxoOffset, 32768 + std::lround(scene.tcxoPpb));
}

// With the flatness at its centre value, the absolute level word of each
// band makes the table read the truth at 150 MHz, 10 dB, gain state 1.
void FactoryCalImage::SetAbsoluteLevels(CalMemory::Image& image, bool preampFitted,
                                        const TrueResponse& truth) {
    std::fill_n(image.begin() + CalLayout::kLowBandFlatness,
                CalLayout::kAttenRows * CalLayout::kLowBandEntries, 128);
    std::fill_n(image.begin() + CalLayout::kHighBandFlatness,
                CalLayout::kAttenRows * CalLayout::kHighBandEntries, 128);
    for (const bool highBand : {false, true}) {
        const std::size_t word = highBand ? CalLayout::kIfClipHigh : CalLayout::kIfClipLow;
        PutWord(image, word, 32768);
        const LevelSettings settings = NormalGain(kReferenceRow, preampFitted, highBand);
        const double read = LevelCorrection(image).At(kHighBandStartHz, settings);
        const double wanted = truth.CorrectionDb(kHighBandStartHz, settings);
        PutWord(image, word, 32768 + std::lround((wanted - read) * 1000.0));
    }
}

// Each entry holds what its own point of the table lacks of the truth, in
// 1/32 dB (low band) or 1/16 dB (high band) about 128.
void FactoryCalImage::FillFlatness(CalMemory::Image& image, bool preampFitted,
                                   const TrueResponse& truth) {
    const LevelCorrection centred(image);
    for (int row = 0; row < static_cast<int>(CalLayout::kAttenRows); ++row) {
        const LevelSettings low = NormalGain(row, preampFitted, false);
        const std::size_t lowBase = CalLayout::kLowBandFlatness + row * CalLayout::kLowBandEntries;
        for (std::size_t i = kFirstMeasuredLowEntry; i < CalLayout::kLowBandEntries; ++i) {
            const double hz = (i + 1) * kLowBandStepHz;
            image[lowBase + i] =
                ToByte(128.0 + 32.0 * (truth.CorrectionDb(hz, low) - centred.At(hz, low)));
        }
        std::fill_n(image.begin() + lowBase, kFirstMeasuredLowEntry,
                    image[lowBase + kFirstMeasuredLowEntry]);
        const LevelSettings high = NormalGain(row, preampFitted, true);
        const std::size_t highBase =
            CalLayout::kHighBandFlatness + row * CalLayout::kHighBandEntries;
        for (std::size_t i = 0; i < CalLayout::kHighBandEntries; ++i) {
            const double hz = kHighBandStartHz + i * kHighBandStepHz;
            image[highBase + i] =
                ToByte(128.0 + 16.0 * (truth.CorrectionDb(hz, high) - centred.At(hz, high)));
        }
    }
}

// Multiplier = response at the middle / response at the entry, in hundredths;
// the 52nd byte repeats the 51st.
void FactoryCalImage::FillIfFlatness(CalMemory::Image& image, const TrueResponse& truth) {
    const struct {
        int path;
        std::size_t offset;
        double startHz;
    } tables[] = {
        {TrueResponse::kFirstIf, CalLayout::kIfFlatness10M7, CalLayout::kIfFlatness10M7StartHz},
        {TrueResponse::kSecondIf, CalLayout::kIfFlatness2M9, CalLayout::kIfFlatness2M9StartHz}};
    for (const auto& table : tables) {
        for (std::size_t i = 0; i < CalLayout::kIfFlatnessEntries; ++i) {
            const double ifHz = table.startHz + i * CalLayout::kIfFlatnessStepHz;
            const double multiplier = std::pow(10.0, -truth.IfResponseDb(table.path, ifHz) / 10.0);
            image[table.offset + i] = std::max<std::uint8_t>(1, ToByte(100.0 * multiplier));
        }
        image[table.offset + CalLayout::kIfFlatnessEntries] =
            image[table.offset + CalLayout::kIfFlatnessEntries - 1];
    }
}

// Preamplifier gain in 0.1 dB per count; below 1 MHz its loss against the
// 1 MHz entry in 1/32 dB.
void FactoryCalImage::FillPreamp(CalMemory::Image& image, const TrueResponse& truth) {
    const auto gain = [&truth](double hz, bool highBand) {
        const LevelSettings off{kReferenceRow, 1, true, false, highBand};
        const LevelSettings on{kReferenceRow, 1, true, true, highBand};
        return truth.CorrectionDb(hz, off) - truth.CorrectionDb(hz, on);
    };
    for (std::size_t i = 0; i < CalLayout::kLowBandEntries; ++i) {
        image[CalLayout::kPreampLowBand + i] = ToByte(10.0 * gain((i + 1) * kLowBandStepHz, false));
    }
    for (std::size_t i = 0; i < CalLayout::kHighBandEntries; ++i) {
        image[CalLayout::kPreampHighBand + i] =
            ToByte(10.0 * gain(kHighBandStartHz + i * kHighBandStepHz, true));
    }
    const double firstDb = image[CalLayout::kPreampLowBand] * 0.1;
    for (std::size_t i = 0; i < CalLayout::kPreampRolloffEntries; ++i) {
        const double hz = kRolloffStartHz + i * kRolloffStepHz;
        image[CalLayout::kPreampRolloff + i] = ToByte(32.0 * (firstDb - gain(hz, false)));
    }
}

void FactoryCalImage::PutWord(CalMemory::Image& image, std::size_t offset, long value) {
    const auto word = static_cast<std::uint16_t>(std::clamp(value, 0L, 65535L));
    image[offset] = static_cast<std::uint8_t>(word & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(word >> 8);
}

}  // namespace tavlin::sim
