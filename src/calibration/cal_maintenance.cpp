#include "calibration/cal_maintenance.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <string>

#include "base/bounded_format.h"
#include "calibration/cal_bench.h"
#include "calibration/cal_encoders.h"
#include "calibration/procedure_hold.h"
#include "device/device_link.h"
#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "ports/logged_procedure.h"
#include "ports/progress_sink.h"
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

// What the unit's memory must read back: the table, with the first byte of
// each word that the unit would take for a command (FF 14 25 36, FF 01 ..)
// stored as FE.
std::array<std::uint8_t, kCalMemoryBytes> ExpectedMemory(const CalTable& table) {
    std::array<std::uint8_t, kCalMemoryBytes> expected = table.Bytes();
    for (int a = 0; a < kCalMemoryBytes; a += 4) {
        const bool eraseWord = expected[a] == 0xFF && expected[a + 1] == 0x14 &&
                               expected[a + 2] == 0x25 && expected[a + 3] == 0x36;
        if (eraseWord || (expected[a] == 0xFF && expected[a + 1] == 0x01)) {
            expected[a] = 0xFE;
        }
    }
    return expected;
}

}  // namespace

bool UnitMemoryHoldsTable(InstrumentLease& instrument) {
    std::array<std::uint8_t, kCalMemoryBytes> memory{};
    NullProgressSink noDialog;
    return instrument.Link().ReadCalMemory(memory.data(), noDialog) &&
           memory == ExpectedMemory(instrument.Table());
}

bool PurgeCalData(AnalyzerDocument& document) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "purge of the calibration memory");
    return hold.Instrument().Link().EraseCalMemory();
}

// The unit erases its memory before it takes the new table, so a write cut
// short (a pulled cable) leaves it incomplete: every store is read back, and
// a failed one is written again once after the link is reopened. The cache
// file keeps the whole table whatever happens, and it is what the program
// loads and what the next Store Cal Data writes.
bool StoreCalData(AnalyzerDocument& document) {
    ProcedureHold hold(document);
    const LoggedProcedure logged("calibration", "store of the calibration table");
    InstrumentLease& instrument = hold.Instrument();
    const std::string serial = document.Settings().deviceSerial;
    const std::string date = LocalAsctime();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0 && !instrument.Link().ResetLink(true)) {
            break;  // the unit is gone: the program has been told it is lost
        }
        if (instrument.Table().Store(serial, instrument.Link(), date) &&
            UnitMemoryHoldsTable(instrument)) {
            return true;
        }
    }
    logged.Fail("the unit's memory does not hold the table");
    document.GetPrompter().Inform(
        "ERROR: Cal table was not stored properly!!!\r\nThe unit's calibration memory is "
        "incomplete. The table is kept in " +
            serial + ".kvo and stays in use;\r\nStore Cal Data writes it to the unit again.",
        "FAIL *** ERROR *** CAL TABLE DID NOT WRITE PROPERLY ***");
    return false;
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
