#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "document/trace_basis.h"

namespace tavlin {

class AnalyzerDocument;

// Trace B as levels: the CSV of Export Trace, frequency in Hz and level in
// dBm for each of the 641 points, saved from trace B and loaded into it.
class TraceBFile {
  public:
    // Trace B from a file's text, drawn on `present` (the screen's scale,
    // whose frequency offset the file's frequencies include) moved to the
    // file's band and to dBm. Returns an empty text, or why the file is
    // refused: not the CSV of a swept trace in dBm, not 641 points,
    // frequencies not rising evenly, a level not a number.
    static std::string Parse(std::string_view text, const MarkerScale& present, ScreenRows& rows,
                             TraceBasis& basis);

    // Each returns an empty text on success, else what went wrong, for the
    // user; a refused file leaves trace B as it was.
    static std::string Save(const AnalyzerDocument& document, const std::filesystem::path& path);
    static std::string Load(AnalyzerDocument& document, const std::filesystem::path& path);
};

}  // namespace tavlin
