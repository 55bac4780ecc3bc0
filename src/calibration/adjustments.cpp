#include "calibration/adjustments.h"

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "calibration/cal_bench.h"
#include "calibration/cal_encoders.h"
#include "calibration/comparison_sets.h"
#include "calibration/procedure_hold.h"
#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "ports/clock.h"
#include "ports/logged_procedure.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr int kIfPoints = 51;
constexpr double kIfStepHz = 5000.0;

using IfTable = std::array<std::uint8_t, cal_fields::kIfFlatnessBytes>;

struct IfSweep {
    int path;                // 0: 10.7 MHz, 1: 2.9 MHz
    double generatorMhz;     // the tone, below the LO
    double firstLoHz;        // LO of point 0
    double centreLoHz;       // where the sampler sees the tone at its centre
    int fieldOffset;         // ifFlatness10M7 / ifFlatness2M9
    double upperMarginRows;  // the comparison's allowance above the maximum
    const char* failure;
};

constexpr IfSweep kIfSweeps[] = {
    {0, 14.0, 24575000.0, 24694440.0, cal_fields::kIfFlatness10M7Offset, 24.0,
     "10.7 MHz IF out of range!"},
    {1, 11.0, 13791000.0, 13916000.0, cal_fields::kIfFlatness2M9Offset, 16.0,
     "2.9 MHz IF out of range!"},
};

// The entry's log as the comparison view draws it: 500 x log10(multiplier).
double LogRows(double entry) {
    return 500.0 * std::log10(entry * 0.01);
}

// Powers across the IF, each freed of the decimating filter's droop; nothing
// when a capture failed.
std::optional<std::array<double, kIfPoints>> MeasureIfShape(CalBench& bench, const IfSweep& sweep) {
    std::array<double, kIfPoints> power{};
    for (int i = 0; i < kIfPoints; ++i) {
        const double loHz = sweep.firstLoHz + i * kIfStepHz;
        bench.TuneLowBand(loHz * 1e-6);
        const std::optional<double> level = bench.MeasureLevel();
        if (!level) {
            return std::nullopt;
        }
        power[i] = std::pow(10.0, *level / 10.0) * DroopFactor(loHz - sweep.centreLoHz);
    }
    return power;
}

// The entries when every one fits its byte and lies within the comparison
// sets (16 rows below the minimum, the sweep's margin above the maximum).
std::optional<IfTable> IfEntries(const std::array<double, kIfPoints>& power, const IfSweep& sweep,
                                 const ComparisonSets& sets) {
    IfTable entries{};
    for (int i = 0; i < kIfPoints; ++i) {
        const std::optional<std::uint8_t> entry = IfFlatnessByte(power[kIfPoints / 2], power[i]);
        if (!entry) {
            return std::nullopt;
        }
        const double rows = LogRows(*entry);
        const int field = sweep.fieldOffset + i;
        if (!(rows >= LogRows(sets.min[field]) - 16.0 &&
              rows <= LogRows(sets.max[field]) + sweep.upperMarginRows)) {
            return std::nullopt;
        }
        entries[i] = *entry;
    }
    entries[kIfPoints] = entries[kIfPoints - 1];
    return entries;
}

}  // namespace

bool AdjustIfResponse(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets) {
    AnalyzerDocument& document = instrument.Document();
    DeviceLink& link = instrument.Link();
    link.SetAttenuator(10);
    link.SetGainMode(1);
    link.SetIfPath(0);
    link.SetDecimation(1);
    link.SetBandSelect(false);
    bench.TuneLowBand(24.7);
    for (const IfSweep& sweep : kIfSweeps) {
        bench.SetGenerator(sweep.generatorMhz, -10.0);
        if (sweep.path == 0) {
            document.GetClock().SleepMs(500);
        }
        link.SetIfPath(sweep.path);
        const auto power = MeasureIfShape(bench, sweep);
        const std::optional<IfTable> entries =
            power ? IfEntries(*power, sweep, sets) : std::nullopt;
        if (!entries) {
            document.GetPrompter().Inform(sweep.failure, "ERROR");
            link.SetIfPath(0);
            return false;
        }
        std::ranges::copy(*entries, instrument.Table().Bytes().begin() + sweep.fieldOffset);
    }
    link.SetIfPath(0);
    return true;
}

bool BenchComplete(const CalBench& bench) {
    return bench.PowerMeterPresent() && bench.GeneratorPresent();
}

void ReportAdjustmentFailed(InstrumentLease& instrument, const std::string& adjustment,
                            const CalBench& bench) {
    // A unit that stopped answering is looked for once: back on the bus it
    // is set up afresh; gone, the program learns it is lost, as after a
    // sweep, and the console ends with its lost-instrument status.
    if (bench.UnitLost()) {
        instrument.Link().ResetLink(true);
    }
    Prompter& prompter = instrument.Document().GetPrompter();
    const std::string why = bench.Fault().empty()
                                ? "a measured value was outside its limits (see above)"
                                : bench.Fault();
    prompter.Inform(adjustment + ": FAIL\r\n" + why + "\r\nThe table in the unit was not changed.",
                    kAdjustmentFailedCaption);
}

// The adjustment works on the table in memory; when it fails, the table
// goes back to what it was, so no half-made table is ever stored.
bool RunAdjustment(AnalyzerDocument& document, GpibBus& bus, Adjustment which,
                   const std::filesystem::path& setsFolder) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "adjustment");
    InstrumentLease& instrument = hold.Instrument();
    CalBench bench(instrument.Link(), bus, document.GetPrompter(), document.GetClock());
    bench.OpenInstruments();
    const char* name = which == Adjustment::HighBand  ? "High Band Flatness"
                       : which == Adjustment::LowBand ? "Low Band Flatness"
                                                      : "IF Response";
    const std::optional<ComparisonSets> sets =
        BenchComplete(bench) ? LoadComparisonSets(setsFolder, document.GetPrompter())
                             : std::nullopt;
    const auto before = instrument.Table().Bytes();
    bool passed = false;
    if (sets) {
        switch (which) {
            case Adjustment::HighBand:
                passed = AdjustHighBand(instrument, bench, *sets);
                break;
            case Adjustment::LowBand:
                passed = AdjustLowBand(instrument, bench, *sets);
                break;
            case Adjustment::IfResponse:
                passed = AdjustIfResponse(instrument, bench, *sets);
                break;
        }
    }
    if (!passed) {
        instrument.Table().Bytes() = before;
        logged.Fail(bench.Fault().empty() ? "out of its limits" : bench.Fault());
        ReportAdjustmentFailed(instrument, name, bench);
    }
    return passed;
}

}  // namespace tavlin
