#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace tavlin {

class Prompter;

// The factory's lowest and highest acceptable value of every field, in the
// table's layout up to the TCXO word and the two bytes after it.
struct ComparisonSets {
    static constexpr std::size_t kBytes = 2552;
    static constexpr const char* kMinFile = "CALMIN.kvo";
    static constexpr const char* kMaxFile = "CALMAX.kvo";

    std::array<std::uint8_t, kBytes> min{};
    std::array<std::uint8_t, kBytes> max{};
};

// Reads CALMIN.kvo and CALMAX.kvo from the folder. An adjustment cannot judge
// its entries without both, so a file that is missing or shorter than the
// set is named in an "ERROR" box and nothing is returned.
std::optional<ComparisonSets> LoadComparisonSets(const std::filesystem::path& folder,
                                                 Prompter& prompter);

}  // namespace tavlin
