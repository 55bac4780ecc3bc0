#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>

namespace tavlin {

class AnalyzerDocument;
class GpibBus;

// The procedures a factory script runs from the console, as
// `tavlin-cli --procedure NAME` asks.
inline constexpr const char* kProcedureNames[] = {
    "self-test",       "cal-report", "adjust-all",         "adjust-high-band",
    "adjust-low-band", "adjust-if",  "adjust-phase-noise", "purge-cal",
    "store-cal",       "recal-tcxo", "view-flatness"};

bool IsProcedureName(const std::string& name);

// Where a procedure finds its comparison sets and leaves its report, and the
// extra settling delay of DO ALL ADJUSTMENTS (asked in the window; none when
// not given).
struct ProcedureSetup {
    std::filesystem::path workFolder;
    std::optional<int> extraDelayMs;
};

// Runs the procedure as its menu item would, its boxes answered by the
// document's prompter. The calibration report goes to caldata.txt in the
// work folder (and is not opened); the comparison sets come from there. The
// flatness pages are printed to `out` as text. Returns 0 when the procedure
// ran and passed, 1 when it failed or could not run (with the reason on err
// when no box gave it).
int RunProcedure(AnalyzerDocument& document, GpibBus& bus, const std::string& name,
                 const ProcedureSetup& setup, std::ostream& out, std::ostream& err);

}  // namespace tavlin
