#pragma once

#include <cstddef>

namespace tavlin::sim {

// Byte offsets of the factory calibration memory, as the unit stores them
// (multi-byte fields little-endian).
struct CalLayout {
    static constexpr std::size_t kBlankMark = 0;
    static constexpr std::size_t kCalDate = 64;
    static constexpr std::size_t kCalDateBytes = 48;
    static constexpr std::size_t kPreampRolloff = 112;
    static constexpr std::size_t kPreampRolloffEntries = 15;
    static constexpr std::size_t kIfGain2_9Low = 129;   // IFGAIN2_9B0
    static constexpr std::size_t kIfGain2_9High = 130;  // IFGAIN2_9B1
    static constexpr std::size_t kBroadbandPower = 131;
    static constexpr std::size_t kLowBandFlatness = 132;  // 4 rows of 150
    static constexpr std::size_t kLowBandEntries = 150;
    static constexpr std::size_t kHighBandFlatness = 732;  // 4 rows of 426
    static constexpr std::size_t kHighBandEntries = 426;
    static constexpr std::size_t kIfFlatness10M7 = 2436;  // 52 bytes
    static constexpr std::size_t kIfFlatness2M9 = 2488;   // 52 bytes
    static constexpr std::size_t kIfFlatnessEntries = 51;
    static constexpr std::size_t kLowGainStep = 2540;
    static constexpr std::size_t kHighGainStep = 2542;
    static constexpr std::size_t kIfClipHigh = 2544;  // IFClipHB150
    static constexpr std::size_t kIfClipLow = 2546;   // IFClipLB150
    static constexpr std::size_t kTcxoOffset = 2548;
    static constexpr std::size_t kPreampLowBand = 2552;   // 150 entries
    static constexpr std::size_t kPreampHighBand = 2702;  // 426 entries
    static constexpr std::size_t kCachedBytes = 3128;
    static constexpr std::size_t kAttenRows = 4;

    // First IF frequency of each IF flatness table; entries are 5 kHz apart.
    static constexpr double kIfFlatness10M7StartHz = 10575000.0;
    static constexpr double kIfFlatness2M9StartHz = 2791000.0;
    static constexpr double kIfFlatnessStepHz = 5000.0;
};

}  // namespace tavlin::sim
