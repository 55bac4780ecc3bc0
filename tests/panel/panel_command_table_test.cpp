#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <vector>

#include "document/marker_commands.h"
#include "panel/front_panel_commands.h"
#include "panel/panel_fixture.h"
#include "panel/settings_menu_commands.h"
#include "support/row_name.h"

namespace tavlin {
namespace {

using S = InstrumentState;
using Item = SettingsMenuItem;
using Menu = SettingsMenuCommands;
using Panel = FrontPanelCommands;
using Values = std::vector<double>;
using Command = std::function<void(Panel&, Menu&)>;
using Reader = std::function<Values(AnalyzerDocument&)>;

// One command of the front panel or the Settings menu, given from a starting
// state while the sweep runs. Every numeric entry it opens answers `answer`,
// the title entry "Bench 3". It leaves the values read, sends one command to
// the instrument with the sweep stopped (or nothing), pauses the sweep or not,
// and leaves a check mark on a menu entry.
struct CommandRow {
    const char* name;
    std::function<void(S&)> setUp;
    Command command;
    Reader read;
    Values expected;
    std::optional<double> answer = {};
    std::vector<std::uint8_t> sent = {};
    bool pauses = false;
    std::optional<Item> checked = {};
    friend void PrintTo(const CommandRow& row, std::ostream* out) { *out << row.name; }
};

class PanelCommandTable : public test::PanelFixture,
                          public testing::WithParamInterface<CommandRow> {};

TEST_P(PanelCommandTable, LeavesItsValuesSendsWithTheSweepStoppedAndMarksItsEntry) {
    const CommandRow& row = GetParam();
    Edit(row.setUp);
    dialogs.frequencies = dialogs.ratios = dialogs.dbs = dialogs.amplitudes = {row.answer};
    dialogs.attenuators = {row.answer ? std::optional<int>(*row.answer) : std::nullopt};
    dialogs.titles = {"Bench 3"};
    StartSweeping();
    Panel panel(*doc, dialogs);
    Menu menu(*doc, dialogs);
    row.command(panel, menu);
    EXPECT_EQ(row.read(*doc), row.expected);
    EXPECT_EQ(row.sent.empty() ? sent : SentWith(static_cast<char>(row.sent[0])),
              std::vector<Sent>(row.sent.empty() ? 0 : 1, {row.sent, false, false}));
    const int now = passes.load();
    ASSERT_TRUE(test::Eventually([&] { return passes.load() >= now + 2; }));
    EXPECT_EQ(sweepThreads.load(), row.pauses ? 2 : 1);
    EXPECT_TRUE(!row.checked || menu.State(*row.checked).checked);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void Preset(S&) {}  // the settings the document starts with
template <typename... T>
Reader Of(T S::*... fields) {
    return [=](AnalyzerDocument& d) { return Values{double(d.Settings().*fields)...}; };
}
template <typename T>
std::function<void(S&)> Set(T S::*field, T value) {
    return [=](S& s) { s.*field = value; };
}
Command On(void (Panel::*handler)()) {
    return [=](Panel& p, Menu&) { (p.*handler)(); };
}
template <typename... Arg>
Command On(void (Menu::*handler)(Arg...), Arg... args) {
    return [=](Panel&, Menu& m) { (m.*handler)(args...); };
}
const Reader kEdges = Of(&S::startFreqHz, &S::stopFreqHz);
const Values kUnmoved = {902e6, 928e6};
const Reader kLevels = Of(&S::refLevelDbm, &S::attenDb);
const Reader kScale = Of(&S::linearScale, &S::refLevelInMv, &S::dbPerDiv);

INSTANTIATE_TEST_SUITE_P(
    FrontPanel, PanelCommandTable,
    testing::Values(
        CommandRow("CenterFreq", Preset, On(&Panel::OnCenterFreq), kEdges, {907e6, 933e6}, 920e6),
        CommandRow("Span", Preset, On(&Panel::OnSetSpan), kEdges, {910e6, 920e6}, 10e6),
        CommandRow("CenterFreqCancelled", Preset, On(&Panel::OnCenterFreq), kEdges, kUnmoved),
        CommandRow("StartFreqNotANumber", Preset, On(&Panel::OnStartFreq), kEdges, kUnmoved, kNaN),
        CommandRow("StopFreqInfinite", Preset, On(&Panel::OnStopFreq), kEdges, kUnmoved, -kInf),
        CommandRow("SpanNotANumber", Preset, On(&Panel::OnSetSpan), kEdges, kUnmoved, kNaN),
        CommandRow("RefLevelInf", Preset, On(&Panel::OnReferenceLevel), kLevels, {0, 10}, kInf),
        CommandRow("SpanDownFrom26MHz", Preset, On(&Panel::OnSpanDown), kEdges, {905e6, 925e6}),
        CommandRow("SpanUpFromFullSpan", [](S& s) { s.startFreqHz = 0.2e6, s.stopFreqHz = 4.4e9; },
                   On(&Panel::OnSpanUp), kEdges, {1200.1e6, 3200.1e6}),
        CommandRow("SpanDownOutOfZeroSpan", [](S& s) { s.startFreqHz = s.stopFreqHz = 915e6; },
                   On(&Panel::OnSpanDown), kEdges, {915e6 - 50, 915e6 + 50}),
        CommandRow("SpanDownInZeroSpanAt0Hz", [](S& s) { s.startFreqHz = s.stopFreqHz = 0; },
                   On(&Panel::OnSpanDown), kEdges, {0, 0}),
        CommandRow("CenterStepUp", Preset, On(&Panel::OnCenterStepUp), kEdges, {912e6, 938e6}),
        CommandRow("CenterStepDown", Preset, On(&Panel::OnCenterStepDown), kEdges, {892e6, 918e6}),
        CommandRow("RefLevelUpRaisesTheAttenuator", Set(&S::refLevelDbm, 10.0),
                   On(&Panel::OnRefLevelUp), kLevels, {20, 15}, {}, {'A', 3}, true),
        CommandRow("RefLevelDownByItsStep", Set(&S::refLevelStepDb, 5.0),
                   On(&Panel::OnRefLevelDown), kLevels, {-5, 10}, {}, {'A', 2}, true),
        CommandRow("AttenuatorChosen", Set(&S::refLevelDbm, -20.0), On(&Panel::OnAtten), kLevels,
                   {-20, 5}, 1, {'A', 1}, true),
        CommandRow("AttenuatorBelowTheLevelRaisedAgain", Set(&S::refLevelDbm, 5.0),
                   On(&Panel::OnAtten), kLevels, {5, 10}, 0, {'A', 2}, true),
        CommandRow("AttenuatorOutOfRangeIgnored", Preset, On(&Panel::OnAtten), kLevels, {0, 10}, 4),
        CommandRow("Linear", Preset, On(&Panel::OnLin), kScale, {1, 1, 10}),
        CommandRow("DbPerDivCancelledSelectsLog", Set(&S::linearScale, 1), On(&Panel::OnDbPerDiv),
                   kScale, {0, 0, 10}),
        CommandRow("DbPerDivOfZeroRefused", Preset, On(&Panel::OnDbPerDiv), kScale, {0, 0, 10}, 0),
        CommandRow("DbPerDivNaNRefused", Preset, On(&Panel::OnDbPerDiv), kScale, {0, 0, 10}, kNaN),
        CommandRow("DbPerDivTakenWithTheSweepStopped", Preset, On(&Panel::OnDbPerDiv), kScale,
                   {0, 0, 2.5}, 2.5, {}, true),
        CommandRow("TraceNormal", Set(&S::maxHold, 1), On(&Panel::OnTraceNormal), Of(&S::maxHold),
                   {0}),
        CommandRow("MaxHold", Preset, On(&Panel::OnMaxHold), Of(&S::maxHold), {1}),
        CommandRow("FreeRun", Set(&S::videoTrigger, true), On(&Panel::OnFreeRun),
                   Of(&S::videoTrigger), {0})),
    test::kRowName);

INSTANTIATE_TEST_SUITE_P(
    SettingsMenu, PanelCommandTable,
    testing::Values(
        CommandRow("SpanRbwRatio", Preset, On(&Menu::OnSpanRbwRatio), Of(&S::spanRbwRatio), {50},
                   50),
        CommandRow("SpanRbwRatioOfZeroRefused", Preset, On(&Menu::OnSpanRbwRatio),
                   Of(&S::spanRbwRatio), {preset::kSpanRbwRatio}, 0),
        CommandRow("SignalTrackOn", Preset, On(&Menu::OnSignalTrack, true), Of(&S::signalTrack),
                   {1}, {}, {}, false, Item::SignalTrackOn),
        CommandRow("SignalTrackOff", Set(&S::signalTrack, 1), On(&Menu::OnSignalTrack, false),
                   Of(&S::signalTrack), {0}, {}, {}, false, Item::SignalTrackOff),
        CommandRow("VideoAveraging10StartsAfresh", Set(&S::videoAvgIndex, 5),
                   On(&Menu::OnVideoAveraging, 10), Of(&S::videoAvgCount, &S::videoAvgIndex),
                   {10, 0}, {}, {}, false, Item::VideoAveraging10),
        CommandRow("VideoAveragingOf5Ignored", Set(&S::videoAvgIndex, 5),
                   On(&Menu::OnVideoAveraging, 5), Of(&S::videoAvgCount, &S::videoAvgIndex), {1, 5},
                   {}, {}, false, Item::VideoAveraging1),
        CommandRow("ImageSuppressionOffPauses", Preset, On(&Menu::OnImageSuppression, false),
                   Of(&S::imageReject), {0}, {}, {}, true, Item::ImageSuppressionOff),
        CommandRow("Realtime", Preset, On(&Menu::OnRealtime), Of(&S::realtimeMode), {1}, {}, {},
                   false, Item::ImageSuppressionRealtime),
        CommandRow("SyncTrigReservedMode1", Preset, On(&Menu::OnSyncTrigWithoutEntry, 1),
                   Of(&S::syncTrigMode), {1}, {}, {'O', 1}, true, Item::SyncTrigMode1),
        CommandRow("SyncTrigPlainOff", Set(&S::syncTrigMode, 2),
                   On(&Menu::OnSyncTrigWithoutEntry, 0), Of(&S::syncTrigMode), {0}, {}, {'O', 0},
                   true, Item::SyncTrigNotMode1),
        CommandRow("SyncTrigInHasAMenuEntry", Preset, On(&Menu::OnSyncTrigWithoutEntry, 3),
                   Of(&S::syncTrigMode), {0}),
        CommandRow("Preamplifier", Preset, On(&Menu::OnRfPreamplifier), Of(&S::preampOn), {1}, {},
                   {'M', 1}, true, Item::RfPreamplifier),
        CommandRow("Counter", Preset, On(&Menu::OnCounter), Of(&S::counterOn), {1}, {}, {}, false,
                   Item::Counter),
        CommandRow("ColorSchemeClassic", Preset, On(&Menu::OnColorScheme, true), Of(), {}, {}, {},
                   false, Item::ColorSchemeClassic),
        CommandRow("DownconverterOffsetBelowZero", Preset, On(&Menu::OnDownconverterOffset),
                   Of(&S::freqOffsetHz), {-100e6}, -100e6),
        CommandRow(
            "MarkerFreqTakesNoOffset", Set(&S::freqOffsetHz, 100e6), On(&Menu::OnSetMarkerFreq),
            [](AnalyzerDocument& d) { return Values{MarkerCommands(d).Snapshot().marker1Pos}; },
            {910e6}, 910e6),
        CommandRow("Title", Preset, On(&Menu::OnSetTitle),
                   [](AnalyzerDocument& d) {
                       return Values{d.Settings().title == "Bench 3" ? 1.0 : 0.0};
                   },
                   {1})),
    test::kRowName);

}  // namespace
}  // namespace tavlin
