#include "panel/front_panel_commands.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/finite_entry.h"
#include "document/analyzer_document.h"
#include "document/level_settings.h"
#include "document/sweep_pause.h"
#include "document/trace_mode.h"
#include "panel/span_steps.h"
#include "ports/entry_dialogs.h"
#include "ports/prompter.h"
#include "ports/view_notifier.h"
#include "sweep/rbw_rules.h"
#include "sweep/zero_span_plan.h"

namespace tavlin {

namespace {

constexpr double kFullSpanStartHz = 200000.0;
constexpr double kZeroSpanSweepTimeMs = 10.0;
constexpr double kMsPerSecond = 1000.0;

constexpr double kFmOffsetStartHz = 100000.0;
constexpr double kMinFmOffsetHz = 10.0;
constexpr double kMaxFmOffsetHz = 120000.0;
constexpr double kReducedFmOffsetHz = 100000.0;

constexpr double kLinearDbPerDiv = 10.0;
constexpr double kAttenStepDb = 5.0;
constexpr int kLastAttenIndex = 3;

// The trigger level entry starts two divisions below the top line.
constexpr double kTriggerLevelDivisions = 2.0;

// A narrower span about the present centre. The edges only move inward, so
// the pair stays inside the band and needs no validation.
void NarrowSpan(AnalyzerDocument& doc, double spanHz) {
    doc.EditSettings([&doc, spanHz](InstrumentState& s) {
        const double center = (s.startFreqHz + s.stopFreqHz) / 2.0;
        s.startFreqHz = center - spanHz / 2.0;
        s.stopFreqHz = center + spanHz / 2.0;
        s.rbwHz = doc.PredictRbw(spanHz);
    });
}

// Max FM Offset: at least 10 Hz; above 120 kHz it is brought back to 100 kHz
// with a word to the user.
double UsableFmOffset(AnalyzerDocument& doc, double offsetHz) {
    if (offsetHz > kMaxFmOffsetHz) {
        doc.GetPrompter().Inform("FM Peak reduced to 100 KHz", "Value must be <=120 KHz");
        return kReducedFmOffsetHz;
    }
    return std::max(offsetHz, kMinFmOffsetHz);
}

int AttenIndex(double attenDb) {
    const double index = std::trunc(attenDb / kAttenStepDb);
    if (!(index > 0.0)) {
        return 0;
    }
    if (index >= kLastAttenIndex) {
        return kLastAttenIndex;
    }
    return static_cast<int>(index);
}

bool UsableDbPerDiv(double dbPerDiv) {
    return std::isfinite(dbPerDiv) && dbPerDiv > 0.0;
}

}  // namespace

// --- FREQUENCY Controls ----------------------------------------------------------
// Frequency changes take effect at the next sweep: none of them pauses.

void FrontPanelCommands::OnCenterFreq() {
    const DownconverterOffset offset = doc_.FreqOffset();
    const auto entered = FiniteEntry(
        dialogs_.EnterFrequency("CENTER FREQ", offset.Shown(doc_.Frequencies().CenterHz())));
    if (!entered) {
        return;
    }
    doc_.SetCenter(offset.Stored(*entered));
}

void FrontPanelCommands::OnCenterStepDown() {
    doc_.ShiftFrequencies(-doc_.ReadSettings([](const InstrumentState& s) { return s.cfStepHz; }));
}

void FrontPanelCommands::OnCenterStepUp() {
    doc_.ShiftFrequencies(doc_.ReadSettings([](const InstrumentState& s) { return s.cfStepHz; }));
}

void FrontPanelCommands::OnStartFreq() {
    const DownconverterOffset offset = doc_.FreqOffset();
    const auto entered = FiniteEntry(
        dialogs_.EnterFrequency("START FREQ", offset.Shown(doc_.Frequencies().startHz)));
    if (!entered) {
        return;
    }
    doc_.SetStartFreq(offset.Stored(*entered));
}

void FrontPanelCommands::OnStopFreq() {
    const DownconverterOffset offset = doc_.FreqOffset();
    const auto entered =
        FiniteEntry(dialogs_.EnterFrequency("STOP FREQ", offset.Shown(doc_.Frequencies().stopHz)));
    if (!entered) {
        return;
    }
    doc_.SetStopFreq(offset.Stored(*entered));
}

// --- SPAN Controls ---------------------------------------------------------------

// The FM detector belongs to a zero span entered through its own dialog: any
// span entry leaves it, even one that is cancelled.
void FrontPanelCommands::OnSetSpan() {
    doc_.EditSettings([](InstrumentState& s) { s.zeroSpanFm = 0; });
    const auto entered = FiniteEntry(dialogs_.EnterFrequency("SPAN", doc_.Frequencies().SpanHz()));
    if (!entered) {
        return;
    }
    doc_.SetSpan(*entered);
    const FrequencyPair now = doc_.Frequencies();
    if (now.ZeroSpan()) {
        OnZeroSpan();
    }
}

// From a span below the smallest step (zero span among them) the edges move
// outward, and may leave the band: that case is validated like any other
// span entry.
void FrontPanelCommands::OnSpanDown() {
    const FrequencyPair now = doc_.Frequencies();
    const double next = SpanStepDown(now.SpanHz());
    if (now.SpanHz() < kSmallestSpanStepHz) {
        doc_.SetSpan(next);
    } else {
        NarrowSpan(doc_, next);
    }
}

// The RBW shown is the one predicted for the step's span, as the sweep that
// follows stores the one it used.
void FrontPanelCommands::OnSpanUp() {
    const FrequencyPair now = doc_.Frequencies();
    const double next = SpanStepUp(now.SpanHz());
    doc_.SetSpan(next);
    doc_.EditSettings([this, next](InstrumentState& s) { s.rbwHz = doc_.PredictRbw(next); });
}

// The sweep stays stopped while the dialogs are open. A cancel of either
// dialog leaves the frequencies and the detector as they were.
void FrontPanelCommands::OnZeroSpan() {
    SweepPause pause(doc_);
    const double center = doc_.Frequencies().CenterHz();
    const std::optional<ZeroSpanChoice> choice = dialogs_.EnterZeroSpan(kZeroSpanSweepTimeMs);
    if (!choice || !(std::isfinite(choice->sweepTimeMs) && choice->sweepTimeMs > 0.0)) {
        doc_.RequestRepaint();
        return;
    }
    int fm = 0;
    double fmOffsetHz = doc_.ReadSettings([](const InstrumentState& s) { return s.maxFmOffsetHz; });
    if (choice->fm) {
        const auto entered =
            FiniteEntry(dialogs_.EnterFrequency("Max FM Offset", kFmOffsetStartHz));
        if (!entered) {
            doc_.RequestRepaint();
            return;
        }
        fm = 1;
        fmOffsetHz = UsableFmOffset(doc_, *entered);
    }
    const double sweepTimeSec = choice->sweepTimeMs / kMsPerSecond;
    doc_.EditSettings([=](InstrumentState& s) {
        s.zeroSpanFm = fm;
        s.maxFmOffsetHz = fmOffsetHz;
        s.startFreqHz = center;
        s.stopFreqHz = center;
        s.sweepTimeSec = sweepTimeSec;
        s.rbwHz = ZeroSpanRbw(sweepTimeSec);
    });
}

// The wide sweep used above 200 MHz stores no RBW of its own, so the one
// shown is the one for the new span, not the one left from zero span.
void FrontPanelCommands::OnFullSpan() {
    SweepPause pause(doc_);
    doc_.SetFrequencies(kFullSpanStartHz, kMaxFreqHz);
    doc_.EditSettings(
        [this](InstrumentState& s) { s.rbwHz = doc_.PredictRbw(kMaxFreqHz - kFullSpanStartHz); });
}

// --- AMPLITUDE Controls ------------------------------------------------------------

void FrontPanelCommands::OnReferenceLevel() {
    const double offset =
        doc_.ReadSettings([](const InstrumentState& s) { return s.refLevelOffsetDb; });
    const double shown = doc_.ReadSettings([](const InstrumentState& s) { return s.refLevelDbm; });
    const auto entered = FiniteEntry(dialogs_.EnterAmplitude("REF LEVEL", shown + offset));
    if (!entered) {
        return;
    }
    SetReferenceLevel(doc_, *entered - offset);
}

void FrontPanelCommands::OnRefLevelDown() {
    ChangeLevelSettings(doc_, [](InstrumentState& s) { s.refLevelDbm -= s.refLevelStepDb; });
}

void FrontPanelCommands::OnRefLevelUp() {
    ChangeLevelSettings(doc_, [](InstrumentState& s) { s.refLevelDbm += s.refLevelStepDb; });
}

// The level plan may raise the chosen attenuation again when the reference
// level needs more.
void FrontPanelCommands::OnAtten() {
    const int current =
        AttenIndex(doc_.ReadSettings([](const InstrumentState& s) { return s.attenDb; }));
    const std::optional<int> chosen = dialogs_.ChooseAttenuator(current);
    if (!chosen || *chosen < 0 || *chosen > kLastAttenIndex) {
        return;
    }
    const double attenDb = kAttenStepDb * *chosen;
    ChangeLevelSettings(doc_, [attenDb](InstrumentState& s) { s.attenDb = attenDb; });
}

// The log scale is selected as soon as the button is pressed, even when the
// entry is then cancelled. A scale of 0 dB or less per division has no rows
// (50 rows a division are 50 / dB per division rows a dB): the entry refuses
// it while it is open.
void FrontPanelCommands::OnDbPerDiv() {
    doc_.EditSettings([](InstrumentState& s) {
        s.linearScale = 0;
        s.refLevelInMv = 0;
    });
    const double current = doc_.ReadSettings([](const InstrumentState& s) { return s.dbPerDiv; });
    const std::optional<double> entered = dialogs_.EnterDb("dB/div", current, DbRange::AboveZero);
    if (!entered || !UsableDbPerDiv(*entered)) {
        doc_.RequestRepaint();
        return;
    }
    SweepPause pause(doc_);
    doc_.EditSettings([&entered](InstrumentState& s) { s.dbPerDiv = *entered; });
}

void FrontPanelCommands::OnLin() {
    doc_.EditSettings([](InstrumentState& s) {
        s.dbPerDiv = kLinearDbPerDiv;
        s.linearScale = 1;
        s.refLevelInMv = 1;
    });
}

// --- TRACE Controls ----------------------------------------------------------------

void FrontPanelCommands::OnTraceNormal() {
    doc_.EditSettings([](InstrumentState& s) { SetTraceMode(s, TraceMode::kWrite); });
}

void FrontPanelCommands::OnMaxHold() {
    doc_.EditSettings([](InstrumentState& s) { SetTraceMode(s, TraceMode::kMaxHold); });
}

// --- TRIGGER and SWEEP Controls ---------------------------------------------------

void FrontPanelCommands::OnFreeRun() {
    doc_.EditSettings([](InstrumentState& s) { s.videoTrigger = false; });
}

// The level is entered in dBm (no reference level offset) and kept in the
// sampler's own power units for the level correction and attenuation in
// force now.
void FrontPanelCommands::OnVideo() {
    const FrequencyPair now = doc_.Frequencies();
    if (!now.ZeroSpan()) {
        doc_.GetPrompter().Inform("Video trigger in zero Span only", "ZERO SPAN ONLY");
        return;
    }
    const double start = doc_.ReadSettings([](const InstrumentState& s) {
        return s.refLevelDbm - kTriggerLevelDivisions * s.dbPerDiv;
    });
    const auto level = FiniteEntry(dialogs_.EnterAmplitude("TRIGGER LEVEL", start));
    if (!level) {
        return;
    }
    // The threshold is the raw power at which the AM trace draws the entered
    // level, so the same IF filter and droop correction enters it; the
    // decimation follows from the sweep time as the capture will choose it.
    const double threshold = doc_.ReadSettings([this, &level](const InstrumentState& s) {
        const int decimation = PlanAmCapture(ClampZeroSpanSweepTime(s.sweepTimeSec)).decimation;
        const double ifPathFactor = doc_.TunedIfPathFactor(decimation, s.ifFreq1Hz);
        return VideoTriggerThreshold(*level, doc_.AmplitudeCorrection(s.startFreqHz), s.attenDb,
                                     ifPathFactor);
    });
    doc_.EditSettings([threshold](InstrumentState& s) {
        s.videoTrigThreshold = threshold;
        s.videoTrigger = true;
    });
}

}  // namespace tavlin
