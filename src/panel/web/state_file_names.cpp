#include "panel/web/state_file_names.h"

#include <algorithm>

namespace tavlin {

namespace {

constexpr std::string_view kExtension = ".pqz";
constexpr std::size_t kLongestName = 255;

bool RegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    // symlink_status: a link is not followed, so it cannot lead elsewhere.
    return std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec));
}

}  // namespace

bool StateFileNames::Acceptable(std::string_view name) {
    if (name.size() <= kExtension.size() || name.size() > kLongestName ||
        !name.ends_with(kExtension) || name.front() == '.' ||
        name.find("..") != std::string_view::npos) {
        return false;
    }
    return std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || c == '\\' || static_cast<unsigned char>(c) < ' ' || c == 0x7f;
    });
}

std::vector<std::string> StateFileNames::List() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder_, ec);
         !ec && it != std::filesystem::directory_iterator() && names.size() < kMostListed;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (Acceptable(name) && RegularFile(it->path())) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::filesystem::path> StateFileNames::Resolve(std::string_view name) const {
    if (!Acceptable(name)) {
        return std::nullopt;
    }
    std::filesystem::path path = folder_ / std::string(name);
    if (!RegularFile(path)) {
        return std::nullopt;
    }
    return path;
}

}  // namespace tavlin
