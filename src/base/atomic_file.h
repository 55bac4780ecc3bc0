#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tavlin {

// Writes the whole content to a temporary file beside the target and renames
// it over the target, so a failed write never destroys the old file.
// On failure returns false and describes the problem in `error`.
bool WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> content,
                         std::string& error);

// Reads a whole file. Returns false (with `error`) when it cannot be opened or read.
bool ReadWholeFile(const std::filesystem::path& source, std::vector<std::uint8_t>& content,
                   std::string& error);

}  // namespace tavlin
