#include "calibration/comparison_sets.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr std::size_t kLargestFile = 4096;  // a whole memory image is accepted too

bool ReadSet(const std::filesystem::path& path,
             std::array<std::uint8_t, ComparisonSets::kBytes>& set, Prompter& prompter) {
    std::vector<std::uint8_t> content;
    std::string error;
    if (!ReadWholeFile(path, kLargestFile, content, error)) {
        prompter.Inform(error, "ERROR");
        return false;
    }
    if (content.size() < set.size()) {
        prompter.Inform("Cannot use " + path.string() + ": shorter than " +
                            std::to_string(set.size()) + " bytes",
                        "ERROR");
        return false;
    }
    std::copy_n(content.begin(), set.size(), set.begin());
    return true;
}

}  // namespace

std::optional<ComparisonSets> LoadComparisonSets(const std::filesystem::path& folder,
                                                 Prompter& prompter) {
    ComparisonSets sets;
    if (!ReadSet(folder / ComparisonSets::kMinFile, sets.min, prompter) ||
        !ReadSet(folder / ComparisonSets::kMaxFile, sets.max, prompter)) {
        return std::nullopt;
    }
    return sets;
}

}  // namespace tavlin
