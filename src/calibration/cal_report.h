#pragma once

#include <filesystem>
#include <string>

namespace tavlin {

class AnalyzerDocument;
class GpibBus;
class Prompter;

struct CalReportResult {
    bool written = false;  // the report file holds this run's report
    bool passed = false;   // written, and no line of it failed
    std::string text;      // the report as far as it went
};

// Advanced > Calibration asks this first; the report runs only on Yes.
bool ConfirmCalReport(Prompter& prompter);

// The calibration report against the GPIB generator and power meter: the
// timebase, the level at 88 points through the four attenuator steps, the
// CAL OUT level and the displayed average noise at six frequencies, written
// to `reportFile` through a temporary file. It pauses the sweep for its whole
// run and may be called from a worker thread. A timebase out of tolerance,
// or No to "TRY AGAIN?", ends it without a file.
CalReportResult RunCalReport(AnalyzerDocument& document, GpibBus& bus,
                             const std::filesystem::path& reportFile);

}  // namespace tavlin
