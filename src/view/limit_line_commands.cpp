#include "view/limit_line_commands.h"

#include <optional>

#include "base/finite_entry.h"
#include "document/analyzer_document.h"
#include "document/level_rows.h"
#include "document/marker_commands.h"
#include "document/marker_scale.h"
#include "ports/entry_dialogs.h"

namespace tavlin {

namespace {

constexpr double kDivisions = 10.0;

// The limit entries return dBm; the linear scale places mV.
int LimitRow(const MarkerScale& scale, double levelDbm) {
    const bool inMillivolts = scale.linearScale && !scale.FmDeviation();
    return LevelToRow(scale, inMillivolts ? DbmToMillivolts(levelDbm) : levelDbm);
}

}  // namespace

void LimitLineCommands::OnTraceAToB() {
    doc_.EditTrace([](ScreenState& screen) {
        screen.display.traceBRows = screen.trace.traceAInt;
        screen.display.traceBBasis = screen.basis;
    });
}

void LimitLineCommands::OnViewTraceB() {
    doc_.EditTrace(
        [](ScreenState& screen) { screen.display.traceBShown = !screen.display.traceBShown; });
}

void LimitLineCommands::OnTraceMath() {
    doc_.EditTrace([](ScreenState& screen) {
        screen.display.traceMathShown = !screen.display.traceMathShown;
    });
}

bool LimitLineCommands::TraceMathShown() const {
    return doc_.ReadTrace([](const ScreenState& s) { return s.display.traceMathShown; });
}

// Each limit is entered as a level and kept as a row of the scale in force
// now: later changes of reference level or scale leave the lines where they
// are. Nothing changes until both levels are confirmed.
void LimitLineCommands::OnLimitLines() {
    if (LimitLinesOn()) {
        // While the lines were on, the lower limit was drawn as trace B; it
        // stays there until the next Trace A->B.
        doc_.EditTrace([](ScreenState& screen) {
            screen.display.limitLinesOn = false;
            screen.display.limitMask = {};
            screen.display.traceBRows = screen.display.lowerLimitRows;
            screen.display.traceBBasis = {};
        });
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
    doc_.EditTrace([lowerRow, upperRow](ScreenState& screen) {
        screen.display.limitLinesOn = true;
        screen.display.limitMask = {};
        screen.display.lowerLimitRows.fill(lowerRow);
        screen.display.upperLimitRows.fill(upperRow);
    });
}

bool LimitLineCommands::LoadLimitMask(const std::filesystem::path& path, std::string& error) {
    const LimitMaskParse parsed = ReadLimitMaskFile(path);
    if (!parsed.mask) {
        error = parsed.error;
        return false;
    }
    doc_.SetLimitMask(*parsed.mask);
    return true;
}

bool LimitLineCommands::TraceBShown() const {
    return doc_.ReadTrace([](const ScreenState& screen) { return screen.display.traceBShown; });
}

bool LimitLineCommands::LimitLinesOn() const {
    return doc_.ReadTrace([](const ScreenState& screen) { return screen.display.limitLinesOn; });
}

}  // namespace tavlin
