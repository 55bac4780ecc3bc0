#pragma once

#include <filesystem>
#include <string>

#include "document/marker_scale.h"
#include "sweep/sweep_trace.h"

namespace tavlin {

class AnalyzerDocument;

// Trace A as a CSV file for a spreadsheet: a header line, then one line per
// trace point with its frequency in Hz (the time in ms in zero span) and its
// level in the unit the screen shows (dBm with the reference level offset, mV
// on the linear scale, Hz of deviation in FM zero span).
class TraceExport {
  public:
    // The frequencies are those the annotations show, with the downconverter
    // offset added.
    static std::string Csv(const MarkerScale& scale, const decltype(SweepTrace::traceA)& rows);
    // The two columns' names, and one point as a line of them, without the
    // line end, for other tables of points (the peak table).
    static std::string HeaderFields(const MarkerScale& scale);
    static std::string PointFields(const MarkerScale& scale, double position, double level);
    static constexpr const char* kLineEnd = "\r\n";

    // Writes the document's present trace through a temporary file, so a
    // failed write leaves no partial file and keeps an older one. Returns an
    // empty text on success, else what went wrong, for the user.
    static std::string Write(const AnalyzerDocument& document, const std::filesystem::path& path);
};

}  // namespace tavlin
