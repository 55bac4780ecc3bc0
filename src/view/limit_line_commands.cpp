#include "view/limit_line_commands.h"

#include <mutex>
#include <optional>

#include "base/finite_entry.h"
#include "document/analyzer_document.h"
#include "document/level_rows.h"
#include "document/marker_commands.h"
#include "document/marker_scale.h"
#include "ports/entry_dialogs.h"
#include "ports/view_notifier.h"

namespace tavlin {

namespace {

constexpr double kDivisions = 10.0;

void Repaint(AnalyzerDocument& doc) {
    doc.GetViews().UpdateAllViews();
}

// The limit entries return dBm; the linear scale places mV.
int LimitRow(const MarkerScale& scale, double levelDbm) {
    const bool inMillivolts = scale.linearScale && !scale.FmDeviation();
    return LevelToRow(scale, inMillivolts ? DbmToMillivolts(levelDbm) : levelDbm);
}

}  // namespace

void LimitLineCommands::OnTraceAToB() {
    {
        std::lock_guard lock(doc_.traceMutex);
        doc_.display.traceBRows = doc_.trace.traceAInt;
    }
    Repaint(doc_);
}

void LimitLineCommands::OnViewTraceB() {
    {
        std::lock_guard lock(doc_.traceMutex);
        doc_.display.traceBShown = !doc_.display.traceBShown;
    }
    Repaint(doc_);
}

// Each limit is entered as a level and kept as a row of the scale in force
// now: later changes of reference level or scale leave the lines where they
// are. Nothing changes until both levels are confirmed.
void LimitLineCommands::OnLimitLines() {
    bool switchedOff = false;
    {
        std::lock_guard lock(doc_.traceMutex);
        if (doc_.display.limitLinesOn) {
            // While the lines were on, the lower limit was drawn as trace B;
            // it stays there until the next Trace A->B.
            doc_.display.limitLinesOn = false;
            doc_.display.traceBRows = doc_.display.lowerLimitRows;
            switchedOff = true;
        }
    }
    if (switchedOff) {
        Repaint(doc_);
        return;
    }
    const MarkerScale scale = MarkerCommands(doc_).Scale();
    const double topDbm = scale.ReferenceDbm();
    const double bottomDbm = topDbm - kDivisions * scale.dbPerDiv;
    const auto lower = FiniteEntry(dialogs_.EnterAmplitude("LOWER LIMIT", bottomDbm));
    if (!lower) {
        return;
    }
    const int lowerRow = LimitRow(scale, *lower);
    const auto upper = FiniteEntry(dialogs_.EnterAmplitude("UPPER LIMIT", topDbm));
    if (!upper) {
        return;
    }
    const int upperRow = LimitRow(scale, *upper);
    {
        std::lock_guard lock(doc_.traceMutex);
        doc_.display.limitLinesOn = true;
        doc_.display.lowerLimitRows.fill(lowerRow);
        doc_.display.upperLimitRows.fill(upperRow);
    }
    Repaint(doc_);
}

bool LimitLineCommands::TraceBShown() const {
    std::lock_guard lock(doc_.traceMutex);
    return doc_.display.traceBShown;
}

bool LimitLineCommands::LimitLinesOn() const {
    std::lock_guard lock(doc_.traceMutex);
    return doc_.display.limitLinesOn;
}

}  // namespace tavlin
