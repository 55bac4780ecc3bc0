#include "panel/web/web_controls.h"

#include <array>

#include "document/analyzer_document.h"
#include "document/marker_commands.h"
#include "panel/entry_rules.h"
#include "panel/front_panel_commands.h"
#include "panel/settings_menu_commands.h"
#include "panel/web/one_answer_dialogs.h"
#include "panel/web/state_file_names.h"

namespace tavlin {

namespace {

// A bare number on the page's frequency fields is in MHz, the unit a
// span of the preset is read in.
constexpr int kMegahertz = 2;

constexpr std::array<std::string_view, 10> kActions = {
    "center",     "span", "reference",        "rbw-ratio", "single",
    "continuous", "peak", "marker-to-center", "load",      "spectrogram"};

}  // namespace

bool WebControls::Known(std::string_view action) {
    return std::find(kActions.begin(), kActions.end(), action) != kActions.end();
}

std::string WebControls::Run(std::string_view action, std::string_view value) {
    if (action == "center" || action == "span") {
        return EnterFrequency(action, value);
    }
    if (action == "reference") {
        return EnterReference(value);
    }
    if (action == "rbw-ratio") {
        return EnterRbwRatio(value);
    }
    if (action == "load") {
        return Load(value);
    }
    if (action == "spectrogram") {
        if (value != "on" && value != "off") {
            return "the spectrogram is on or off";
        }
        doc_.SetSpectrogramOn(value == "on");
        return {};
    }
    if (action == "single") {
        doc_.OnSingle();
    } else if (action == "continuous") {
        doc_.OnContinuous();
    } else if (action == "peak") {
        MarkerCommands(doc_).Peak();
    } else if (action == "marker-to-center") {
        MarkerCommands(doc_).MarkerToCenter();
    } else {
        return "no such key";
    }
    return {};
}

std::string WebControls::EnterFrequency(std::string_view action, std::string_view value) {
    const FieldCheck<double> entry = CheckKeypadEntry(value, kMegahertz);
    if (!entry.value) {
        return entry.refusal;
    }
    OneAnswerDialogs dialogs = OneAnswerDialogs::Frequency(*entry.value);
    FrontPanelCommands panel(doc_, dialogs);
    if (action == "center") {
        panel.OnCenterFreq();
    } else {
        panel.OnSetSpan();
    }
    return {};
}

std::string WebControls::EnterReference(std::string_view value) {
    const FieldCheck<double> entry = CheckAmplitudeEntry(value, AmplitudeUnit::Dbm);
    if (!entry.value) {
        return entry.refusal;
    }
    OneAnswerDialogs dialogs = OneAnswerDialogs::Amplitude(*entry.value);
    FrontPanelCommands(doc_, dialogs).OnReferenceLevel();
    return {};
}

std::string WebControls::EnterRbwRatio(std::string_view value) {
    const FieldCheck<double> entry = CheckNumberAboveZero(value);
    if (!entry.value) {
        return entry.refusal;
    }
    OneAnswerDialogs dialogs = OneAnswerDialogs::Ratio(*entry.value);
    SettingsMenuCommands(doc_, dialogs).OnSpanRbwRatio();
    return {};
}

std::string WebControls::Load(std::string_view name) {
    const std::optional<std::filesystem::path> path = states_.Resolve(name);
    if (!path) {
        return "no state file of that name in the server's folder";
    }
    if (!doc_.LoadStateFile(*path)) {
        return "the state file was refused";
    }
    return {};
}

}  // namespace tavlin
