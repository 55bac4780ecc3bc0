#include "sim/factory_cal_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "sim/cal_layout.h"
#include "sim/level_settings.h"

namespace tavlin::sim {

namespace {

constexpr double kHighBandStartHz = 150e6;
constexpr double kHighBandStepHz = 10e6;
constexpr double kLowBandStepHz = 1e6;
constexpr double kRolloffStartHz = 300e3;
constexpr double kRolloffStepHz = 50e3;
// Both absolute levels are measured at 150 MHz, 10 dB, normal gain: the top
// of the low band and the bottom of the high band.
constexpr double kReferenceHz = 150e6;
constexpr int kReferenceRow = 2;
// The factory measures the low band from 10 MHz up and copies the 10 MHz
// entry below it.
constexpr std::size_t kFirstMeasuredLowEntry = 9;

// The table's encodings, field by field.
constexpr double kFlatnessCentre = 128.0;
constexpr double kLowBandCountsPerDb = 32.0;
constexpr double kHighBandCountsPerDb = 16.0;
constexpr double kLevelWordCentre = 32768.0;
constexpr double kLevelWordsPerDb = 1000.0;
constexpr double kLevelWordBaseDb = -10.5;
constexpr double kTenthCountsPerDb = 10.0;
constexpr double kGainStepWordDb = 0.02;
constexpr double kLowGainStepWordBaseDb = 16.0 - 2.56;
constexpr double kHighGainStepWordBaseDb = 12.0 - 2.56;
constexpr double kRolloffCountsPerDb = 32.0;
// High-band entries hold what is left of the response once a fixed tilt of
// the kind of unit is taken off (the reader adds it back): the front end's
// loss rises with frequency, faster behind a preamplifier.
constexpr double kHighBandTiltPreampDbPerHz = 4e-9;
constexpr double kHighBandTiltPlainDbPerHz = 2.5e-9;

std::uint8_t ToByte(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 254L));
}

long ToWord(double value) {
    return std::clamp(std::lround(value), 0L, 65535L);
}

double HighBandTilt(bool preampFitted) {
    return preampFitted ? kHighBandTiltPreampDbPerHz : kHighBandTiltPlainDbPerHz;
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
    for (const bool highBand : {false, true}) {
        const double levelDb = SetAbsoluteLevel(image, preamp, highBand, truth);
        FillFlatness(image, preamp, highBand, levelDb, truth);
    }
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

// The gain steps are measured once, at the reference point through the low
// route; a unit without a preamplifier carries them too, though its reader
// takes fixed steps instead.
void FactoryCalImage::FillScalars(CalMemory::Image& image, const Scene& scene,
                                  const TrueResponse& truth) {
    std::memcpy(image.data() + CalLayout::kCalDate, kCalDate, std::strlen(kCalDate));
    image[CalLayout::kIfGain2_9Low] = ToByte(kTenthCountsPerDb * truth.SecondIfOffsetDb(false));
    image[CalLayout::kIfGain2_9High] = ToByte(kTenthCountsPerDb * truth.SecondIfOffsetDb(true));
    image[CalLayout::kBroadbandPower] = kBroadbandPower;
    const auto level = [&truth](int gainState) {
        return truth.CorrectionDb(kReferenceHz,
                                  LevelSettings{kReferenceRow, gainState, false, false, false});
    };
    const double lowStepDb = level(0) - level(1);
    const double highStepDb = level(1) - level(2);
    PutWord(image, CalLayout::kLowGainStep,
            ToWord((lowStepDb - kLowGainStepWordBaseDb) / kGainStepWordDb));
    PutWord(image, CalLayout::kHighGainStep,
            ToWord((highStepDb - kHighGainStepWordBaseDb) / kGainStepWordDb));
    PutWord(image, CalLayout::kTcxoOffset, ToWord(kLevelWordCentre + scene.tcxoPpb));
}

// The band's absolute level word holds the correction at the reference
// point; a unit with a preamplifier reads its band's 2.9 MHz offset on top,
// so the word holds that much less. Returns the level the word stands for,
// as rounded, for the flatness entries to be measured against.
double FactoryCalImage::SetAbsoluteLevel(CalMemory::Image& image, bool preampFitted, bool highBand,
                                         const TrueResponse& truth) {
    double levelDb =
        truth.CorrectionDb(kReferenceHz, NormalGain(kReferenceRow, preampFitted, highBand));
    if (highBand) {
        levelDb -= HighBandTilt(preampFitted) * kReferenceHz;
    }
    if (preampFitted) {
        levelDb -= image[highBand ? CalLayout::kIfGain2_9High : CalLayout::kIfGain2_9Low] /
                   kTenthCountsPerDb;
    }
    const long word = ToWord(kLevelWordCentre + (levelDb - kLevelWordBaseDb) * kLevelWordsPerDb);
    PutWord(image, highBand ? CalLayout::kIfClipHigh : CalLayout::kIfClipLow, word);
    double stored = (word - kLevelWordCentre) / kLevelWordsPerDb + kLevelWordBaseDb;
    if (preampFitted) {
        stored += image[highBand ? CalLayout::kIfGain2_9High : CalLayout::kIfGain2_9Low] /
                  kTenthCountsPerDb;
    }
    return stored;
}

// Each entry is the correction measured at its own point and attenuator
// row, less the band's stored level (and, in the high band, the tilt), in
// 1/32 dB (low band) or 1/16 dB (high band) about 128.
void FactoryCalImage::FillFlatness(CalMemory::Image& image, bool preampFitted, bool highBand,
                                   double levelDb, const TrueResponse& truth) {
    for (int row = 0; row < static_cast<int>(CalLayout::kAttenRows); ++row) {
        const LevelSettings settings = NormalGain(row, preampFitted, highBand);
        if (highBand) {
            const std::size_t base =
                CalLayout::kHighBandFlatness + row * CalLayout::kHighBandEntries;
            for (std::size_t i = 0; i < CalLayout::kHighBandEntries; ++i) {
                const double hz = kHighBandStartHz + i * kHighBandStepHz;
                const double db =
                    truth.CorrectionDb(hz, settings) - levelDb - HighBandTilt(preampFitted) * hz;
                image[base + i] = ToByte(kFlatnessCentre + kHighBandCountsPerDb * db);
            }
            continue;
        }
        const std::size_t base = CalLayout::kLowBandFlatness + row * CalLayout::kLowBandEntries;
        for (std::size_t i = kFirstMeasuredLowEntry; i < CalLayout::kLowBandEntries; ++i) {
            const double db = truth.CorrectionDb((i + 1) * kLowBandStepHz, settings) - levelDb;
            image[base + i] = ToByte(kFlatnessCentre + kLowBandCountsPerDb * db);
        }
        std::fill_n(image.begin() + base, kFirstMeasuredLowEntry,
                    image[base + kFirstMeasuredLowEntry]);
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
// stored 1 MHz entry in 1/32 dB.
void FactoryCalImage::FillPreamp(CalMemory::Image& image, const TrueResponse& truth) {
    const auto gain = [&truth](double hz, bool highBand) {
        const LevelSettings off{kReferenceRow, 1, true, false, highBand};
        const LevelSettings on{kReferenceRow, 1, true, true, highBand};
        return truth.CorrectionDb(hz, off) - truth.CorrectionDb(hz, on);
    };
    for (std::size_t i = 0; i < CalLayout::kLowBandEntries; ++i) {
        image[CalLayout::kPreampLowBand + i] =
            ToByte(kTenthCountsPerDb * gain((i + 1) * kLowBandStepHz, false));
    }
    for (std::size_t i = 0; i < CalLayout::kHighBandEntries; ++i) {
        image[CalLayout::kPreampHighBand + i] =
            ToByte(kTenthCountsPerDb * gain(kHighBandStartHz + i * kHighBandStepHz, true));
    }
    const double firstDb = image[CalLayout::kPreampLowBand] / kTenthCountsPerDb;
    for (std::size_t i = 0; i < CalLayout::kPreampRolloffEntries; ++i) {
        const double hz = kRolloffStartHz + i * kRolloffStepHz;
        image[CalLayout::kPreampRolloff + i] =
            ToByte(kRolloffCountsPerDb * (firstDb - gain(hz, false)));
    }
}

void FactoryCalImage::PutWord(CalMemory::Image& image, std::size_t offset, long value) {
    const auto word = static_cast<std::uint16_t>(std::clamp(value, 0L, 65535L));
    image[offset] = static_cast<std::uint8_t>(word & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(word >> 8);
}

}  // namespace tavlin::sim
