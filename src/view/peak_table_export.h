#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "document/marker_scale.h"
#include "document/peak_table.h"

namespace tavlin {

// The peak table as a CSV file: the trace export's two columns (frequency
// with the downconverter offset, level in the screen's unit) and the flag's
// word, empty for a reading taken at face value.
class PeakTableExport {
  public:
    static std::string Csv(const MarkerScale& scale, const std::vector<PeakTableRow>& rows);
    // Through a temporary file, as the trace export writes. Returns an empty
    // text on success, else what went wrong, for the user.
    static std::string Write(const MarkerScale& scale, const std::vector<PeakTableRow>& rows,
                             const std::filesystem::path& path);
};

}  // namespace tavlin
