#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlin {

// The state files the page may list and load: plain names of regular files
// ending in ".pqz" in the server's folder, never a path, a hidden file, a
// link or anything outside that folder.
class StateFileNames {
  public:
    static constexpr std::size_t kMostListed = 1000;

    explicit StateFileNames(std::filesystem::path folder) : folder_(std::move(folder)) {}

    static bool Acceptable(std::string_view name);
    // The folder's state files by name, sorted, at most kMostListed.
    std::vector<std::string> List() const;
    // The file to load for `name`, or nothing when the name is refused or no
    // such regular file is there.
    std::optional<std::filesystem::path> Resolve(std::string_view name) const;

  private:
    std::filesystem::path folder_;
};

}  // namespace tavlin
