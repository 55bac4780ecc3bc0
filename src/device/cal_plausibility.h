#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tavlin {

// The factory's lowest and highest acceptable table ("CALMIN.kvo" and
// "CALMAX.kvo"), in the table's layout up to the TCXO word.
struct CalFieldLimits {
    static constexpr std::size_t kBytes = 2552;
    std::array<std::uint8_t, kBytes> min{};
    std::array<std::uint8_t, kBytes> max{};
};

// Both limit files of the folder, or nothing when either is missing or short.
std::optional<CalFieldLimits> ReadCalFieldLimits(const std::filesystem::path& folder);

// Why a calibration image cannot be a real unit's table, naming the field and
// what is wrong with it; nothing when every field is one a working unit can
// have. An erased memory (all 0xFF), a memory of one repeated byte, a flatness
// entry no adjustment stores, an IF response with no passband, gain steps,
// level references and a reference oscillator error beyond any working unit
// are refused; with the factory limits at hand, so is a flatness entry
// outside them. `image` is the cached part of the table (3128 bytes) or more.
std::optional<std::string> FindImplausibleCalField(std::span<const std::uint8_t> image,
                                                   const CalFieldLimits* limits = nullptr);

}  // namespace tavlin
