#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "document/marker_scale.h"
#include "document/peak_table.h"
#include "view/level_display.h"

namespace tavlin {

// The peak table as a CSV file: the trace export's two columns (frequency
// with the downconverter offset, level in the screen's unit) and the flag's
// word, empty for a reading taken at face value. With another unit or a
// transducer, the levels are those the window shows.
class PeakTableExport {
  public:
    static std::string Csv(const MarkerScale& scale, const std::vector<PeakTableRow>& rows,
                           const LevelDisplay& levels = {});
    // Through a temporary file, as the trace export writes. Returns an empty
    // text on success, else what went wrong, for the user.
    static std::string Write(const MarkerScale& scale, const std::vector<PeakTableRow>& rows,
                             const std::filesystem::path& path, const LevelDisplay& levels = {});
};

}  // namespace tavlin
