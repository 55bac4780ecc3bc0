#include "calibration/cal_maintenance.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "base/bounded_format.h"
#include "calibration/cal_bench.h"
#include "calibration/cal_encoders.h"
#include "calibration/procedure_hold.h"
#include "document/analyzer_document.h"
#include "ports/logged_procedure.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

std::string LocalAsctime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64] = {};
    asctime_r(&local, text);
    return text;
}

}  // namespace

bool PurgeCalData(AnalyzerDocument& document) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "purge of the calibration memory");
    return hold.Instrument().Link().EraseCalMemory();
}

bool StoreCalData(AnalyzerDocument& document) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "store of the calibration table");
    InstrumentLease& instrument = hold.Instrument();
    const std::string serial = document.Settings().deviceSerial;
    if (!instrument.Table().Store(serial, instrument.Link(), LocalAsctime())) {
        logged.Fail("the table read back differs");
        document.GetPrompter().Inform("ERROR: Cal table was not stored properly!!!",
                                      "FAIL *** ERROR *** CAL TABLE DID NOT WRITE PROPERLY ***");
        return false;
    }
    return true;
}

bool RecalibrateTcxo(AnalyzerDocument& document) {
    bool saved = false;
    {
        ProcedureHold hold(document);
        const LoggedProcedure logged("calibration", "TCXO recalibration");
        InstrumentLease& instrument = hold.Instrument();
        Prompter& prompter = document.GetPrompter();
        if (!prompter.AskYesNo("Connect a 1000 MHz signal, -10 dBm. Continue?",
                               "USER ACTION REQUIRED")) {
            return false;
        }
        NoGpibBus noBench;
        CalBench bench(instrument.Link(), noBench, prompter, document.GetClock());
        const std::optional<double> ppb = bench.MeasureTcxoOffset(true);
        const std::optional<std::uint16_t> word = ppb ? TcxoWord(*ppb) : std::nullopt;
        if (!word) {
            const std::string text =
                FormatText("TCXO offset out of range: %.1f parts per billion", ppb.value_or(0.0));
            logged.Fail(ppb ? text : "no samples");
            prompter.Inform(ppb ? text : "No samples from the TCXO measurement", "ERROR");
        } else {
            auto& bytes = instrument.Table().Bytes();
            bytes[cal_fields::kTcxoOffsetOffset] = static_cast<std::uint8_t>(*word & 0xFF);
            bytes[cal_fields::kTcxoOffsetOffset + 1] = static_cast<std::uint8_t>(*word >> 8);
            const std::string text = FormatText(
                "New TCXO offset = %.1f parts per billion\r\nDo you wish to save this "
                "new value?",
                *ppb);
            if (prompter.AskYesNo(text, "SAVE NEW TCXO CORRECTION?")) {
                saved = instrument.Table().SaveCacheFile(document.Settings().deviceSerial);
                if (!saved) {
                    prompter.Inform(instrument.Table().LastCacheError(), "ERROR");
                }
            }
        }
    }
    // The preset reloads the table from the cache file: the saved value, or
    // the old one back.
    document.Preset();
    return saved;
}

}  // namespace tavlin
