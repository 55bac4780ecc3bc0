#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavlin {

// Writes the whole content to a temporary file beside the target and renames
// it over the target, so a failed write never destroys the old file.
// On failure returns false and describes the problem in `error`.
bool WriteFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> content,
                         std::string& error);
// The same for a text (CSV files, reports).
bool WriteTextAtomically(const std::filesystem::path& target, std::string_view text,
                         std::string& error);

// Reads a whole regular file of at most `maxBytes`. Returns false (with
// `error`) when it cannot be opened or read, is not a regular file (a folder,
// a FIFO, a device) or is larger than the bound. Never blocks on a FIFO.
bool ReadWholeFile(const std::filesystem::path& source, std::size_t maxBytes,
                   std::vector<std::uint8_t>& content, std::string& error);

}  // namespace tavlin
