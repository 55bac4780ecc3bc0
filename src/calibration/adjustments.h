#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tavlin {

class AnalyzerDocument;
class CalBench;
class EntryDialogs;
class GpibBus;
class InstrumentLease;
struct ComparisonSets;

// The factory adjustments fill the in-memory calibration table from bench
// measurements; "Store Cal Data" (or DO ALL ADJUSTMENTS) writes it to the
// unit. Each returns true when it succeeded; a failure has been shown.

// The absolute level, the 2.9 MHz path's gain and the flatness of every
// 10 MHz point from 150 MHz to 4400 MHz at the four attenuator steps.
bool AdjustHighBand(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets);
// The TCXO, the absolute level, the 2.9 MHz path's gain, the gain-state
// steps and the flatness of every 1 MHz point from 10 MHz to 150 MHz.
bool AdjustLowBand(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets);

// The IF filters' responses: 51 points 5 kHz apart across each IF, written
// as ifFlatness10M7 and ifFlatness2M9 when they fit and lie within the
// comparison sets.
bool AdjustIfResponse(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets);

enum class Adjustment { HighBand, LowBand, IfResponse };

constexpr const char* kAdjustmentFailedCaption = "ADJUSTMENT FAILED";

// Both GPIB instruments opened: no adjustment can run without them.
bool BenchComplete(const CalBench& bench);
// The one closing message of a failed adjustment: which one, what failed
// (the instrument and how, when one did) and that the unit keeps its table.
void ReportAdjustmentFailed(InstrumentLease& instrument, const std::string& adjustment,
                            const CalBench& bench);

// Advanced > Adjustments > High Band Flatness, Low Band Flatness, IF
// Response: the sweep paused, the bench opened, the comparison sets read
// from `setsFolder`, the adjustment. A failure leaves the table in memory as
// it was and ends with one closing message.
bool RunAdjustment(AnalyzerDocument& document, GpibBus& bus, Adjustment which,
                   const std::filesystem::path& setsFolder);

// The phase noise of the bench generator's 3303 MHz carrier at 100 Hz,
// 1 kHz, 10 kHz and 100 kHz, shown with `passCaption` when every offset is
// within its limit. The sweep settings are the caller's to restore.
bool PhaseNoiseTest(AnalyzerDocument& document, const char* passCaption);

// Advanced > Adjustments > Phase Noise Only, the generator already at
// 3303 MHz, -5 dBm.
bool RunPhaseNoiseOnly(AnalyzerDocument& document);

// Advanced > Adjustments > DO ALL ADJUSTMENTS: preset, setup messages, the
// three adjustments, the table stored, CAL OUT and the external reference
// checked, the phase-noise test and the stored table read back and compared.
// `dialogs` asks for the extra delay when the operator wants one; without
// it there is none. A delay given beforehand (a bench script's) is used
// without the question.
bool AdjustAll(AnalyzerDocument& document, GpibBus& bus, const std::filesystem::path& setsFolder,
               EntryDialogs* dialogs, std::optional<int> extraDelayMs = std::nullopt);

}  // namespace tavlin
