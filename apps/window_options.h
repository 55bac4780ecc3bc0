#pragma once

#include <QSize>
#include <QString>
#include <charconv>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/qt_theme.h"
#include "base/level_unit.h"
#include "command_line.h"
#include "common_options.h"
#include "log_choice.h"
#include "usb_driver_choice.h"
#include "utilities/console_utilities.h"
#include "view/waterfall_settings.h"

namespace tavlin {

// What the window is asked to do at start.
struct WindowOptions : CommonOptions {
    WindowOptions() { logLevel = LogLevel::kInfo; }
    std::optional<std::string> screenshot;
    QSize size;  // the window's size for the screenshot; empty: the designed size
    int sweeps = 1;
    bool sweepsGiven = false;
    std::string dialogButton;
    std::string dialogPress;
    int dialogRunMs = 0;
    std::vector<QString> presses;
    std::string stateFile;
    bool spectrogram = false;
    std::optional<WaterfallSettings> waterfall;  // --spectrogram=...: set, not the defaults
    bool preset = false;
    std::optional<ThemeChoice> theme;
    std::optional<std::string> transducer;
    std::optional<LevelUnit> unit;
};

inline void PrintWindowUsage(std::ostream& out) {
    out << "usage: tavlin [--simulate[=SCENE] | --simulate-usb[=SCENE]]"
           " [--screenshot FILE.png [--size WxH] [--sweeps N] [-c COMMAND]...\n"
           "              [--press BUTTON]... [--dialog BUTTON|MENU/ITEM [--in-dialog BUTTON]\n"
           "              [--dialog-ms MS]]]\n"
           "              [--preset] [--spectrogram[=HEIGHT[,BOTTOM,TOP]]] [--theme dark|light]\n"
           "              [--automation[=ADDR:CMDPORT:DATAPORT]] [--scpi[=ADDR:PORT]]\n"
           "              [--scpi-idle SECONDS]\n"
           "              [--limit-mask FILE.csv] [--transducer FILE.csv] [--unit UNIT]\n"
           "              [--log-level LEVEL] [STATEFILE]\n"
           "  Options come in any order; a value follows its option as --NAME VALUE or\n"
           "  --NAME=VALUE, but an optional one only as --NAME=VALUE.\n"
        << kSimulateUsage
        << "  --screenshot FILE.png   run the commands, then N single sweeps (default 1),\n"
           "                          save the window as a PNG and exit; works without a\n"
           "                          display (QT_QPA_PLATFORM=offscreen). The first sweep\n"
           "                          runs before the first MAR or TRA command\n"
           "  --size WxH              the window's size for the screenshot (default 950x740)\n"
           "  --sweeps N              the single sweeps before the screenshot (default 1)\n"
           "  -c COMMAND              a command of the automation language before the\n"
           "                          screenshot; may be repeated\n"
           "  --press BUTTON          press that front-panel button after the sweeps\n"
           "                          (its caption, e.g. \"3 dB points\", a check box's, or a\n"
           "                          menu item as \"Utilities/Channel Power\" or\n"
           "                          \"Marker/Active Marker/Marker 3\"), confirming the values\n"
           "                          its dialogs offer; may be repeated\n"
           "  --dialog BUTTON         show the dialog of that front-panel button (its\n"
           "                          caption, e.g. \"CENTER FREQ\") or menu item (as\n"
           "                          \"Utilities/Measuring Receiver\") open in the picture\n"
           "  --in-dialog BUTTON      press that button of the open dialog (e.g. START)\n"
           "  --dialog-ms MS          and let the dialog run MS ms before the picture\n"
           "  --preset                start from the preset, not from the state the window\n"
           "                          kept at its last exit (a screenshot always does)\n"
           "  --spectrogram           show the spectrogram under the plot from the start\n"
           "  --spectrogram=HEIGHT[,BOTTOM,TOP]\n"
           "                          and draw each sweep HEIGHT pixels tall (1 to 8, or\n"
           "                          fit), coloured from BOTTOM to TOP dBm if given\n"
           "  --theme dark|light      start in that theme, as if chosen in View > Theme\n"
           "                          (default: the theme kept at the last exit; Light for\n"
           "                          a screenshot)\n"
           "  --automation[=...]      enable the automation server at start\n"
           "                          (default 127.0.0.1:3976:3977)\n"
           "  --scpi[=ADDR:PORT]      enable the SCPI socket at start (default 127.0.0.1:5025);\n"
           "                          one client at a time, a second is told the instrument\n"
           "                          is busy\n"
           "  --scpi-idle SECONDS     disconnect a SCPI client that sends no command for this\n"
           "                          long (default 60; 0 never)\n"
           "  --limit-mask FILE.csv   limit lines from a mask file at start (after STATEFILE)\n"
           "  --transducer FILE.csv   correct the levels shown by a transducer table at start\n"
           "  --unit UNIT             show levels in dBm, dBmV, dBuV, V, W or dBuV/m (this\n"
           "                          one with an antenna's transducer)\n"
           "  --log-level LEVEL       what the log keeps: error, warning, info (default)\n"
           "                          or debug; the log is $XDG_STATE_HOME/tavlin/tavlin.log\n"
           "                          (~/.local/state/tavlin/tavlin.log), rotated at 1 MiB,\n"
           "                          three old files kept\n"
           "  STATEFILE               a .pqz state file to recall at start\n"
           "  --help, --version       this text, or the program's version\n"
           "  Exit status: 0 closed; 1 could not start or take the screenshot; 2 bad\n"
           "  options or an unrecognised command.\n";
}

inline std::vector<OptionRule> WindowOptionRules() {
    return {{"screenshot", OptionValue::kRequired},  {"size", OptionValue::kRequired},
            {"sweeps", OptionValue::kRequired},      {"press", OptionValue::kRequired},
            {"dialog", OptionValue::kRequired},      {"in-dialog", OptionValue::kRequired},
            {"dialog-ms", OptionValue::kRequired},   {"theme", OptionValue::kRequired},
            {"spectrogram", OptionValue::kOptional}, {"preset"},
            {"transducer", OptionValue::kRequired},  {"unit", OptionValue::kRequired}};
}

inline std::optional<int> ParseCount(std::string_view text, int largest) {
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > largest) {
        return std::nullopt;
    }
    return value;
}

// "1400x1000": a size the window can take, no larger than a big screen.
inline std::optional<QSize> ParseWindowSize(std::string_view text) {
    constexpr int kLargest = 8192;
    const auto x = text.find('x');
    const std::optional<int> width =
        x == std::string_view::npos ? std::nullopt : ParseCount(text.substr(0, x), kLargest);
    const std::optional<int> height =
        x == std::string_view::npos ? std::nullopt : ParseCount(text.substr(x + 1), kLargest);
    if (!width || !height || *width < 1 || *height < 1) {
        return std::nullopt;
    }
    return QSize(*width, *height);
}

// "3" or "fit", then ",-100,-20" for colours from -100 to -20 dBm.
inline std::optional<WaterfallSettings> ParseWaterfall(std::string_view text) {
    WaterfallSettings settings;
    const std::size_t comma = text.find(',');
    const std::string_view height = text.substr(0, comma);
    if (height != "fit") {
        const std::optional<int> pixels = ParseCount(height, WaterfallSettings::kMaxLineHeight);
        if (!pixels || *pixels < 1) {
            return std::nullopt;
        }
        settings.lineHeight = *pixels;
    }
    if (comma == std::string_view::npos) {
        return settings;
    }
    const std::string_view levels = text.substr(comma + 1);
    const std::size_t second = levels.find(',');
    const auto level = [](std::string_view field, double& dbm) {
        const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), dbm);
        return error == std::errc() && end == field.data() + field.size();
    };
    settings.manualColours = true;
    if (second == std::string_view::npos || !level(levels.substr(0, second), settings.bottomDbm) ||
        !level(levels.substr(second + 1), settings.topDbm) || settings.Bounded() != settings) {
        return std::nullopt;
    }
    return settings;
}

// One of the window's own options: "" when taken, else why not.
inline std::string TakeWindowOption(const CommandLine::Given& given, WindowOptions& options) {
    constexpr int kLongest = 1000000;
    const std::string value = given.value.value_or("");
    const std::string refused = "--" + given.name + " cannot take '" + value + "'";
    if (given.name == "screenshot") {
        options.screenshot = value;
        return OutputFileRefusal(given.name, value);
    }
    if (given.name == "size") {
        options.size = ParseWindowSize(value).value_or(QSize());
        return options.size.isEmpty() ? refused + " (WxH, 1 to 8192 each)" : "";
    }
    if (given.name == "sweeps" || given.name == "dialog-ms") {
        const std::optional<int> count = ParseCount(value, kLongest);
        (given.name == "sweeps" ? options.sweeps : options.dialogRunMs) = count.value_or(0);
        options.sweepsGiven = options.sweepsGiven || given.name == "sweeps";
        return count ? "" : refused + " (a whole number, 0 or more)";
    }
    if (given.name == "theme") {
        options.theme = QtTheme::FromName(value);
        const bool offered = options.theme && *options.theme != ThemeChoice::kFollowDesktop;
        return offered ? "" : refused + " (dark or light)";
    }
    if (given.name == "unit") {
        options.unit = LevelUnitOfKey(value);
        return options.unit ? "" : refused + " (dBm, dBmV, dBuV, V, W or dBuV/m)";
    }
    if (given.name == "transducer") {
        options.transducer = value;
    } else if (given.name == "press") {
        options.presses.push_back(QString::fromLocal8Bit(value.c_str()));
    } else if (given.name == "dialog") {
        options.dialogButton = value;
    } else if (given.name == "in-dialog") {
        options.dialogPress = value;
    } else if (given.name == "spectrogram") {
        options.spectrogram = true;
        if (given.value) {
            options.waterfall = ParseWaterfall(value);
            return options.waterfall ? "" : refused + " (1 to 8 or fit, then BOTTOM,TOP in dBm)";
        }
    } else if (given.name == "preset") {
        options.preset = true;
    }
    return "";
}

// The options that only mean something together with another.
inline std::string WindowOptionConflict(const WindowOptions& options) {
    if (!options.screenshot &&
        (options.sweepsGiven || !options.commands.empty() || !options.size.isEmpty() ||
         !options.dialogButton.empty() || !options.presses.empty())) {
        return "--size, --sweeps, -c, --press and --dialog go with --screenshot";
    }
    if (options.dialogButton.empty() && (!options.dialogPress.empty() || options.dialogRunMs)) {
        return "--in-dialog and --dialog-ms go with --dialog";
    }
    return "";
}

// The options, or nothing with the reason on `err` (then the usage follows
// and the exit status is 2). --help and --version are answered before.
inline std::optional<WindowOptions> ReadWindowOptions(const CommandLine& line, std::ostream& err) {
    WindowOptions options;
    std::string refusal;
    const std::vector<std::string> words = line.Positional();
    if (words.size() > 1) {
        refusal = "one state file at a time, not also " + words[1];
    }
    options.stateFile = words.empty() ? "" : words.front();
    for (const CommandLine::Given& given : line.InOrder()) {
        if (refusal.empty() && !TakeCommonOption(given, options, refusal)) {
            refusal = TakeWindowOption(given, options);
        }
    }
    refusal = refusal.empty() ? WindowOptionConflict(options) : refusal;
    if (!refusal.empty()) {
        err << "tavlin: " << refusal << "\n";
        return std::nullopt;
    }
    return options;
}

}  // namespace tavlin
