// DO ALL ADJUSTMENTS and the phase-noise test.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "base/bounded_format.h"
#include "calibration/adjustments.h"
#include "calibration/cal_bench.h"
#include "calibration/cal_maintenance.h"
#include "calibration/comparison_sets.h"
#include "calibration/procedure_hold.h"
#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "ports/clock.h"
#include "ports/entry_dialogs.h"
#include "ports/logged_procedure.h"
#include "ports/progress_sink.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

// The mean row of a stretch of trace A.
double MeanRow(const AnalyzerDocument& document, int first, int last) {
    return document.ReadTrace([first, last](const ScreenState& s) {
        double sum = 0.0;
        for (int c = first; c <= last; ++c) {
            sum += s.trace.traceA[c];
        }
        return sum / (last - first + 1);
    });
}

// dBc/Hz at the columns from the carrier at column 0, at the present scale.
struct NoiseReader {
    const AnalyzerDocument& document;
    double operator()(int first, int last) const {
        const InstrumentState s = document.Settings();
        const double carrier = MeanRow(document, 0, 0);
        return (carrier - MeanRow(document, first, last)) * s.dbPerDiv * 0.02 -
               10.0 * std::log10(s.rbwHz);
    }
};

void Sweeps(AnalyzerDocument& document, int count) {
    for (int i = 0; i < count; ++i) {
        document.PerformSweep();
    }
}

bool AdjustCalOut(InstrumentLease& instrument, CalBench& bench) {
    AnalyzerDocument& document = instrument.Document();
    Prompter& prompter = document.GetPrompter();
    instrument.Link().SetSyncTrigger(1);
    document.GetClock().SleepMs(1500);
    const double s = bench.ReadPowerB().value_or(std::nan(""));
    instrument.Link().SetSyncTrigger(0);
    if (!(s >= -17.0 && s <= -12.0)) {
        prompter.Inform(FormatText("CAL OUT power = %.2f dBm", s), "CAL OUT FAIL");
        return false;
    }
    if (!instrument.Link().CheckReference(false)) {
        prompter.Inform("FAILED TO FIND TIMEBASE", "ERROR - EXT REF");
        return false;
    }
    bench.SetGenerator(3303.0, -5.0);
    return true;
}

bool VerifyStoredTable(InstrumentLease& instrument) {
    AnalyzerDocument& document = instrument.Document();
    if (UnitMemoryHoldsTable(instrument)) {
        document.GetPrompter().Inform("Cal table verified.  Ready for final testing.",
                                      "ADJUSTMENT PROCEDURE SUCCESSFUL");
        return true;
    }
    document.GetPrompter().Inform("ERROR: Cal table was not stored properly!!!",
                                  "FAIL *** ERROR *** CAL TABLE DID NOT WRITE PROPERLY ***");
    return false;
}

}  // namespace

bool PhaseNoiseTest(AnalyzerDocument& document, const char* passCaption) {
    // On the external reference the carrier must sit at column 0 exactly.
    document.UpdateReferenceState();
    document.SetFrequencies(3303000000.0, 3303100000.0);
    document.EditSettings([](InstrumentState& s) {
        s.videoAvgCount = 10;
        s.videoAvgIndex = 0;
        s.refLevelDbm = -10.0;
    });
    document.ApplyLevelPlan();
    Sweeps(document, 4);
    const NoiseReader noise{document};
    const double pn10k = noise(63, 67);
    const double pn100k = noise(636, 640);
    document.SetFrequencies(3303000000.0, 3303001000.0);
    document.EditSettings([](InstrumentState& s) { s.videoAvgIndex = 0; });
    Sweeps(document, 8);
    const double pn100 = noise(56, 65);
    const double pn1k = noise(621, 640);
    const std::string text = FormatText(
        "100 Hz:  %.1f dBc/Hz\r\n1 KHz:   %.1f dBc/Hz\r\n10 KHz:  %.1f dBc/Hz\r\n100 "
        "KHz: %.1f dBc/Hz\r\n",
        pn100, pn1k, pn10k, pn100k);
    // A reading that is not a number fails its limit.
    const bool passed = pn100 <= -72.0 && pn1k <= -78.0 && pn10k <= -78.0 && pn100k <= -83.0;
    for (const int hz : {2000, 2500, 3000}) {
        document.GetPrompter().Beep(hz, 150);
    }
    document.GetPrompter().Inform(text, passed ? passCaption : "ERROR - FAILS PHASE NOISE");
    document.EditSettings([](InstrumentState& s) {
        s.videoAvgCount = 1;
        s.videoAvgIndex = 0;
    });
    document.RequestRepaint();
    return passed;
}

bool RunPhaseNoiseOnly(AnalyzerDocument& document) {
    const ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "phase noise adjustment");
    return PhaseNoiseTest(document, "PASSES PHASE NOISE - TEST COMPLETE");
}

bool AdjustAll(AnalyzerDocument& document, GpibBus& bus, const std::filesystem::path& setsFolder,
               EntryDialogs* dialogs, std::optional<int> extraDelayMs) {
    document.OnPreset();
    if (document.CloseRequested()) {
        return false;
    }
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "all adjustments");
    InstrumentLease& instrument = hold.Instrument();
    Prompter& prompter = document.GetPrompter();
    CalBench bench(instrument.Link(), bus, prompter, document.GetClock());
    bench.OpenInstruments();
    prompter.Beep(2500, 500);
    // The instrument goes by its own name here as in every other box.
    prompter.Inform(
        "Connect 8340 adr 20, 3 dB pad, splitter, E9304A, EPM-442A adr 13,\r\n DC block, 8481A, "
        "Tavlin\r\nDisconnect 10 Mz if connected.",
        "USER SETUP REQUIRED");
    bus.ConnectReference(false);
    if (extraDelayMs) {
        bench.extraDelayMs = *extraDelayMs;
    } else if (prompter.AskYesNo("Do you wish to add any extra delay for each system reading?",
                                 "SETUP QUESTION") &&
               dialogs != nullptr) {
        bench.extraDelayMs = dialogs->EnterExtraDelay(bench.extraDelayMs).value_or(0);
    }
    // The three adjustments fill the table in memory; if one fails, the
    // table goes back to what it was, so a later Store Cal Data cannot write
    // a half-made table to the unit.
    const std::optional<ComparisonSets> sets =
        BenchComplete(bench) ? LoadComparisonSets(setsFolder, prompter) : std::nullopt;
    const auto before = instrument.Table().Bytes();
    if (!sets || !AdjustHighBand(instrument, bench, *sets) ||
        !AdjustLowBand(instrument, bench, *sets) || !AdjustIfResponse(instrument, bench, *sets)) {
        instrument.Table().Bytes() = before;
        logged.Fail(bench.Fault().empty() ? "comparison sets missing or a band out of its limits"
                                          : bench.Fault());
        ReportAdjustmentFailed(instrument, "DO ALL ADJUSTMENTS", bench);
        return false;
    }
    // A store that failed has said why; the steps after it would only add
    // boxes about a unit whose memory is not right.
    if (!StoreCalData(document)) {
        logged.Fail("the table could not be stored");
        return false;
    }
    // The stored table in force, as at the next preset (the store reset the
    // link, which sets the unit up afresh).
    document.Preset();
    prompter.Inform("Connect 10 MHz now", "USER SETUP REQUIRED");
    bus.ConnectReference(true);
    if (!AdjustCalOut(instrument, bench)) {
        logged.Fail("CAL OUT level");
        return false;
    }
    const bool phaseNoise = PhaseNoiseTest(document, "PASSES PHASE NOISE");
    const bool verified = VerifyStoredTable(instrument);
    document.RequestRepaint();
    if (!phaseNoise || !verified) {
        logged.Fail(phaseNoise ? "the stored table differs" : "phase noise");
    }
    return phaseNoise && verified;
}

}  // namespace tavlin
