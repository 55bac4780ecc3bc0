#include "sim/level_correction.h"

#include <algorithm>
#include <cmath>

#include "sim/cal_layout.h"

namespace tavlin::sim {

namespace {

constexpr double kHighBandStartHz = 150e6;
constexpr double kHighBandStepHz = 10e6;
constexpr double kLowBandStartHz = 1e6;
constexpr double kLowBandStepHz = 1e6;
constexpr double kRolloffStartHz = 300e3;
constexpr double kRolloffStepHz = 50e3;
constexpr double kLowestRolloffHz = 1e3;  // keeps the 1/f rolloff term finite

}  // namespace

double LevelCorrection::At(double freqHz, const LevelSettings& settings) const {
    return Base(settings) + GainTerm(settings) + FrequencyTerm(freqHz, settings) -
           PreampGain(freqHz, settings);
}

double LevelCorrection::SecondIfOffsetDb(bool highBand) const {
    return 0.1 * table_[highBand ? CalLayout::kIfGain2_9High : CalLayout::kIfGain2_9Low];
}

double LevelCorrection::IfFlatnessMultiplier(int ifPath, double ifHz) const {
    const double start =
        ifPath == 0 ? CalLayout::kIfFlatness10M7StartHz : CalLayout::kIfFlatness2M9StartHz;
    const std::size_t offset = ifPath == 0 ? CalLayout::kIfFlatness10M7 : CalLayout::kIfFlatness2M9;
    const double position = std::trunc((ifHz - start) / CalLayout::kIfFlatnessStepHz);
    const int last = static_cast<int>(CalLayout::kIfFlatnessEntries) - 1;
    const int index = static_cast<int>(std::clamp(position, 0.0, static_cast<double>(last)));
    // A zero byte would mean an IF that passes nothing; no table holds one.
    return std::max(1, static_cast<int>(table_[offset + index])) * 0.01;
}

double LevelCorrection::Base(const LevelSettings& settings) const {
    const std::size_t clip = settings.highBand ? CalLayout::kIfClipHigh : CalLayout::kIfClipLow;
    double base = (Word(clip) - 32768.0) * 0.001 - 10.5;
    if (settings.preampFitted) {
        base += SecondIfOffsetDb(settings.highBand);
    }
    return base;
}

double LevelCorrection::GainTerm(const LevelSettings& settings) const {
    if (settings.gainState == 0) {
        return settings.preampFitted ? Word(CalLayout::kLowGainStep) * 0.02 + 16.0 - 2.56 : 15.83;
    }
    if (settings.gainState == 2) {
        return -(settings.preampFitted ? Word(CalLayout::kHighGainStep) * 0.02 + 12.0 - 2.56
                                       : 12.0);
    }
    return 0.0;
}

double LevelCorrection::FrequencyTerm(double freqHz, const LevelSettings& settings) const {
    const int row = std::clamp(settings.attenIndex, 0, 3);
    if (settings.highBand) {
        const double x = (freqHz - kHighBandStartHz) / kHighBandStepHz;
        const std::size_t offset = CalLayout::kHighBandFlatness + row * CalLayout::kHighBandEntries;
        const double slope = settings.preampFitted ? 4e-9 : 2.5e-9;
        return (Interpolate(offset, x, CalLayout::kHighBandEntries - 1) - 128.0) / 16.0 +
               freqHz * slope;
    }
    const double x = (freqHz - kLowBandStartHz) / kLowBandStepHz;
    const std::size_t offset = CalLayout::kLowBandFlatness + row * CalLayout::kLowBandEntries;
    return (Interpolate(offset, x, CalLayout::kLowBandEntries - 1) - 128.0) / 32.0;
}

double LevelCorrection::PreampGain(double freqHz, const LevelSettings& settings) const {
    if (!settings.preampFitted || !settings.preampOn) {
        return 0.0;
    }
    if (settings.highBand) {
        const double x = (freqHz - kHighBandStartHz) / kHighBandStepHz;
        return 0.1 * Interpolate(CalLayout::kPreampHighBand, x, CalLayout::kHighBandEntries - 1);
    }
    const double x = (freqHz - kLowBandStartHz) / kLowBandStepHz;
    const double lowBand =
        0.1 * Interpolate(CalLayout::kPreampLowBand, x, CalLayout::kLowBandEntries - 1);
    if (freqHz >= 1e6) {
        return lowBand;
    }
    const double first = table_[CalLayout::kPreampLowBand] * 0.1;
    const auto rolloff = [this](int i) { return table_[CalLayout::kPreampRolloff + i] / 32.0; };
    if (freqHz > kRolloffStartHz) {
        const double position = (freqHz - kRolloffStartHz) / kRolloffStepHz;
        const int i = static_cast<int>(position);
        const double e = position - i;
        return first - ((1.0 - e) * rolloff(i) + e * rolloff(i + 1));
    }
    const double f = std::max(freqHz, kLowestRolloffHz);
    return first - (rolloff(0) + 0.8) * kRolloffStartHz / f + 0.8;
}

// Linear interpolation between entries trunc(x) and trunc(x) + 1; past the
// last entry both points are the last, below the first both are the first,
// and between -1 and 0 the first two entries are extrapolated.
double LevelCorrection::Interpolate(std::size_t offset, double x, int lastIndex) const {
    int i0 = static_cast<int>(std::trunc(std::clamp(x, -1e6, 1e6)));
    int i1 = i0 + 1;
    const double d = x - i0;
    if (i1 > lastIndex) {
        i0 = i1 = lastIndex;
    }
    if (i0 < 0) {
        i0 = i1 = 0;
    }
    return (1.0 - d) * table_[offset + i0] + d * table_[offset + i1];
}

std::uint16_t LevelCorrection::Word(std::size_t offset) const {
    return static_cast<std::uint16_t>(table_[offset] | (table_[offset + 1] << 8));
}

}  // namespace tavlin::sim
