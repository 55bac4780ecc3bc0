#pragma once

namespace tavlin {

class AnalyzerDocument;
class InstrumentLease;

// The Advanced menu's commands on the calibration table as a whole. Each
// pauses the sweep for its run (two threads must never share the unit) and
// returns true when it did what it set out to do; a failure has been shown.

// "Purge Cal Data": erases the unit's calibration memory and reopens the
// link. The cache file stays, so later presets keep loading the old table
// until it is removed.
bool PurgeCalData(AnalyzerDocument& document);

// "Store Cal Data": stamps the date, writes the table to the unit's memory
// and to the cache file, reads the memory back and, when it differs, writes
// it once more after reopening the link; a store that still fails says the
// unit's memory is incomplete and that the next Store Cal Data writes the
// kept table again.
bool StoreCalData(AnalyzerDocument& document);

// The unit's calibration memory, read back, holds the table in memory.
bool UnitMemoryHoldsTable(InstrumentLease& instrument);

// "Recalibrate TCXO": measures the reference error on a 1000 MHz signal the
// user connects, offers to save it in the cache file and presets, which
// brings the saved (or the old) value into force. A result beyond the
// field's +-32767 ppb, or a failed capture, is refused.
bool RecalibrateTcxo(AnalyzerDocument& document);

}  // namespace tavlin
