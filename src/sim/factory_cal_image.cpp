#include "sim/factory_cal_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "sim/cal_layout.h"
#include "sim/level_correction.h"

namespace tavlin::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 254L));
}

// IF response in dB at a normalised offset (-1 .. +1 is -125 .. +125 kHz).
double IfResponseDb(int path, double offset) {
    return path == 0 ? -1.4 * offset * offset + 0.25 * offset
                     : -2.8 * offset * offset - 0.3 * offset;
}

}  // namespace

CalMemory::Image FactoryCalImage::TrueResponse(const Scene& scene) {
    CalMemory::Image image;
    image.fill(0xFF);  // the part past the table is never written
    std::fill(image.begin(), image.begin() + CalLayout::kCachedBytes, 0);
    const double phase = UnitPhase(scene.serial);
    FillScalars(image, scene);
    FillLowBandFlatness(image, phase);
    FillHighBandFlatness(image, phase);
    FillIfFlatness(image);
    FillPreamp(image, phase);
    SetAbsoluteLevels(image, scene.PreampFitted());
    return image;
}

CalMemory::Image FactoryCalImage::MemoryContents(const Scene& scene) {
    if (scene.calibration == SceneCalibration::Blank) {
        CalMemory::Image erased;
        erased.fill(0xFF);
        return erased;
    }
    return TrueResponse(scene);
}

void FactoryCalImage::FillScalars(CalMemory::Image& image, const Scene& scene) {
    std::memcpy(image.data() + CalLayout::kCalDate, kCalDate, std::strlen(kCalDate));
    image[CalLayout::kIfGain2_9Low] = kIfGain2_9Low;
    image[CalLayout::kIfGain2_9High] = kIfGain2_9High;
    image[CalLayout::kBroadbandPower] = kBroadbandPower;
    PutWord(image, CalLayout::kLowGainStep, kLowGainStep);
    PutWord(image, CalLayout::kHighGainStep, kHighGainStep);
    const long ppb = std::lround(scene.tcxoPpb);
    PutWord(image, CalLayout::kTcxoOffset, static_cast<std::uint16_t>(32768 + ppb));
}

// Low band, 1 .. 150 MHz, 1/32 dB per count. The factory measures from
// 10 MHz up and copies the 10 MHz entry below it.
void FactoryCalImage::FillLowBandFlatness(CalMemory::Image& image, double phase) {
    constexpr double rowOffset[] = {0.25, 0.1, 0.0, -0.15};
    constexpr double rowSlope[] = {0.0, 0.05, 0.1, 0.2};
    for (std::size_t row = 0; row < CalLayout::kAttenRows; ++row) {
        const std::size_t base = CalLayout::kLowBandFlatness + row * CalLayout::kLowBandEntries;
        for (std::size_t i = 9; i < CalLayout::kLowBandEntries; ++i) {
            const double mhz = static_cast<double>(i + 1);
            const double db = 0.45 * std::sin(kTwoPi * mhz / 53.0 + phase) +
                              0.2 * std::cos(kTwoPi * mhz / 17.0 + 2.0 * phase) -
                              0.5 * mhz / 150.0 + rowOffset[row] + rowSlope[row] * mhz / 150.0;
            image[base + i] = ToByte(128.0 + 32.0 * db);
        }
        std::fill(image.begin() + base, image.begin() + base + 9, image[base + 9]);
    }
}

// High band, 150 .. 4400 MHz, 1/16 dB per count: the ripple left after the
// program's fixed slope per hertz.
void FactoryCalImage::FillHighBandFlatness(CalMemory::Image& image, double phase) {
    constexpr double rowOffset[] = {0.2, 0.05, 0.0, -0.1};
    for (std::size_t row = 0; row < CalLayout::kAttenRows; ++row) {
        const std::size_t base = CalLayout::kHighBandFlatness + row * CalLayout::kHighBandEntries;
        for (std::size_t i = 0; i < CalLayout::kHighBandEntries; ++i) {
            const double mhz = 150.0 + 10.0 * static_cast<double>(i);
            const double u = (mhz - 150.0) / 4250.0;
            const double db = 0.9 * std::sin(kTwoPi * mhz / 610.0 + phase) +
                              0.35 * std::sin(kTwoPi * mhz / 173.0 + 3.0 * phase) - 1.2 * u * u +
                              0.5 * u + rowOffset[row] - 0.25 * row * u;
            image[base + i] = ToByte(128.0 + 16.0 * db);
        }
    }
}

// Multiplier = response at the centre / response at the entry, in hundredths,
// truncated as the factory adjustment stores it; the 52nd byte repeats the 51st.
void FactoryCalImage::FillIfFlatness(CalMemory::Image& image) {
    const std::size_t offsets[] = {CalLayout::kIfFlatness10M7, CalLayout::kIfFlatness2M9};
    for (int path = 0; path < 2; ++path) {
        const std::size_t base = offsets[path];
        for (std::size_t i = 0; i < CalLayout::kIfFlatnessEntries; ++i) {
            const double offset = (static_cast<double>(i) - 25.0) / 25.0;
            const double multiplier = std::pow(10.0, -IfResponseDb(path, offset) / 10.0);
            image[base + i] =
                static_cast<std::uint8_t>(std::clamp(std::trunc(100.0 * multiplier), 1.0, 254.0));
        }
        image[base + CalLayout::kIfFlatnessEntries] =
            image[base + CalLayout::kIfFlatnessEntries - 1];
    }
}

// Preamplifier gain, 0.1 dB per count, and its rolloff below 1 MHz in 1/32 dB.
void FactoryCalImage::FillPreamp(CalMemory::Image& image, double phase) {
    for (std::size_t i = 0; i < CalLayout::kPreampRolloffEntries; ++i) {
        const double remaining = 1.0 - static_cast<double>(i) / 14.0;
        image[CalLayout::kPreampRolloff + i] =
            ToByte(32.0 * (2.4 * std::pow(remaining, 1.5) + 0.1));
    }
    for (std::size_t i = 0; i < CalLayout::kLowBandEntries; ++i) {
        const double mhz = static_cast<double>(i + 1);
        const double db = 18.6 - 0.4 * mhz / 150.0 + 0.2 * std::sin(kTwoPi * mhz / 40.0 + phase);
        image[CalLayout::kPreampLowBand + i] = ToByte(10.0 * db);
    }
    for (std::size_t i = 0; i < CalLayout::kHighBandEntries; ++i) {
        const double mhz = 150.0 + 10.0 * static_cast<double>(i);
        const double u = (mhz - 150.0) / 4250.0;
        const double db = 18.0 - 5.5 * u + 0.4 * std::sin(kTwoPi * mhz / 520.0 + phase);
        image[CalLayout::kPreampHighBand + i] = ToByte(10.0 * db);
    }
}

// The absolute level words are chosen last, so that the whole correction
// (offsets, gain step, flatness) meets the targets at 140 MHz.
void FactoryCalImage::SetAbsoluteLevels(CalMemory::Image& image, bool preampFitted) {
    PutWord(image, CalLayout::kIfClipLow, 32768);
    PutWord(image, CalLayout::kIfClipHigh, 32768);
    const LevelCorrection unset(image);
    LevelSettings settings;
    settings.attenIndex = 2;
    settings.gainState = 0;
    settings.preampFitted = preampFitted;
    settings.highBand = false;
    const double low = unset.At(kTargetFreqHz, settings);
    settings.highBand = true;
    const double high = unset.At(kTargetFreqHz, settings);
    PutWord(image, CalLayout::kIfClipLow,
            static_cast<std::uint16_t>(32768 + std::lround((kLowBandTargetDb - low) * 1000.0)));
    PutWord(image, CalLayout::kIfClipHigh,
            static_cast<std::uint16_t>(32768 + std::lround((kHighBandTargetDb - high) * 1000.0)));
}

void FactoryCalImage::PutWord(CalMemory::Image& image, std::size_t offset, std::uint16_t value) {
    image[offset] = static_cast<std::uint8_t>(value & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Units differ a little: the ripple's phase follows the serial number.
double FactoryCalImage::UnitPhase(const std::string& serial) {
    std::uint32_t hash = 2166136261u;
    for (const char c : serial) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    }
    return kTwoPi * static_cast<double>(hash % 1000u) / 1000.0;
}

}  // namespace tavlin::sim
