#pragma once

#include <filesystem>
#include <string>

namespace tavlin {

class AnalyzerDocument;
class SpectrogramHistory;

// The spectrogram's history as a CSV file: comment lines starting with '#',
// a header line with the position of each of the 641 points (Hz, or ms in
// zero span), then one line per sweep, oldest first: the sweep's end in UTC
// (ISO 8601) and in seconds after the oldest sweep's end, then its 641
// levels in dBm.
class SpectrogramExport {
  public:
    static std::string Csv(const SpectrogramHistory& history);

    // Through a temporary file, so a failed write keeps an older file.
    // Returns an empty text on success, else what went wrong, for the user.
    static std::string Write(const AnalyzerDocument& document, const std::filesystem::path& path);
};

}  // namespace tavlin
