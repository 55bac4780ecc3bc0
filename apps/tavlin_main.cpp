// tavlin: the analyzer window.
#include <QApplication>
#include <QSize>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_prompter.h"
#include "app/qt_application.h"
#include "app/qt_calibration_commands.h"
#include "app/qt_main_frame.h"
#include "app/qt_screenshot.h"
#include "app/qt_termination_signals.h"
#include "gpib_bus_choice.h"
#include "information_options.h"
#include "log_choice.h"
#include "ports/clock.h"
#include "ports/rotating_file_log_sink.h"
#include "ports/scoped_log_sink.h"
#include "ports/stderr_log_sink.h"
#include "remote/automation_server.h"
#include "remote/scpi_server.h"
#include "remote/server_options.h"
#include "usb_driver_choice.h"

namespace {

struct Options {
    tavlin::UsbChoice usb;
    std::optional<std::string> screenshot;
    QSize size;  // the window's size for the screenshot; empty: the designed size
    int sweeps = 1;
    bool sweepsGiven = false;
    std::vector<std::string> commands;
    std::string dialogButton;
    std::string dialogPress;
    int dialogRunMs = 0;
    std::vector<QString> presses;
    std::string stateFile;
    std::string limitMask;
    bool spectrogram = false;
    std::optional<tavlin::TcpIpSettings> automation;
    std::optional<tavlin::ScpiSettings> scpi;
    int scpiIdleSeconds = tavlin::ScpiSettings::kDefaultIdleSeconds;
    tavlin::LogLevel logLevel = tavlin::LogLevel::kInfo;
};

void PrintUsage(std::ostream& out) {
    out << "usage: tavlin [--simulate[=SCENE] | --simulate-usb[=SCENE]]"
           " [--screenshot FILE.png [--size WxH] [--sweeps N] [-c COMMAND]...\n"
           "              [--press BUTTON]... [--dialog BUTTON|MENU/ITEM [--in-dialog BUTTON]\n"
           "              [--dialog-ms MS]]]\n"
           "              [--spectrogram] [--automation[=ADDR:CMDPORT:DATAPORT]] "
           "[--scpi[=ADDR:PORT]]\n"
           "              [--scpi-idle=SECONDS]\n"
           "              [--limit-mask FILE.csv] [--log-level LEVEL] [STATEFILE]\n"
        << tavlin::kSimulateUsage
        << "  --screenshot FILE.png   run the commands, then N single sweeps (default 1),\n"
           "                          save the window as a PNG and exit; works without a\n"
           "                          display (QT_QPA_PLATFORM=offscreen). The first sweep\n"
           "                          runs before the first MAR or TRA command\n"
           "  --size WxH              the window's size for the screenshot (default 950x740)\n"
           "  --press BUTTON          press that front-panel button after the sweeps\n"
           "                          (its caption, e.g. \"3 dB points\", or a menu item as\n"
           "                          \"Utilities/Channel Power\"), confirming the values\n"
           "                          its dialogs offer; may be repeated\n"
           "  --dialog BUTTON         show the dialog of that front-panel button (its\n"
           "                          caption, e.g. \"CENTER FREQ\") or menu item (as\n"
           "                          \"Utilities/Measuring Receiver\") open in the picture\n"
           "  --in-dialog BUTTON      press that button of the open dialog (e.g. START)\n"
           "  --dialog-ms MS          and let the dialog run MS ms before the picture\n"
           "  --spectrogram           show the spectrogram under the plot from the start\n"
           "  --automation[=...]      enable the automation server at start\n"
           "                          (default 127.0.0.1:3976:3977)\n"
           "  --scpi[=ADDR:PORT]      enable the SCPI socket at start (default 127.0.0.1:5025);\n"
           "                          one client at a time, a second is told the instrument\n"
           "                          is busy\n"
           "  --scpi-idle=SECONDS     disconnect a SCPI client that sends no command for this\n"
           "                          long (default 60; 0 never)\n"
           "  --limit-mask FILE.csv   limit lines from a mask file at start (after STATEFILE)\n"
           "  --log-level LEVEL       what the log keeps: error, warning, info (default)\n"
           "                          or debug; the log is $XDG_STATE_HOME/tavlin/tavlin.log\n"
           "                          (~/.local/state/tavlin/tavlin.log), rotated at 1 MiB,\n"
           "                          three old files kept\n"
           "  STATEFILE               a .pqz state file to recall at start\n"
           "  --help, --version       this text, or the program's version\n";
}

std::optional<int> ParseCount(const std::string& text) {
    try {
        std::size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size() && value >= 0) {
            return value;
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// "1400x1000": a size the window can take, no larger than a big screen.
std::optional<QSize> ParseSize(const std::string& text) {
    constexpr int kLargest = 8192;
    const auto x = text.find('x');
    if (x == std::string::npos) {
        return std::nullopt;
    }
    const std::optional<int> width = ParseCount(text.substr(0, x));
    const std::optional<int> height = ParseCount(text.substr(x + 1));
    if (!width || !height || *width < 1 || *height < 1 || *width > kLargest || *height > kLargest) {
        return std::nullopt;
    }
    return QSize(*width, *height);
}

bool ParseArgument(Options& options, int argc, char** argv, int& i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (tavlin::ParseSimulateOption(arg, options.usb)) {
        return true;
    }
    if (const int used = tavlin::TakeLogLevelOption(arg, argv[i + 1], options.logLevel)) {
        if (used < 0) {
            return false;
        }
        i += used - 1;
        return true;
    }
    if (arg.starts_with("--automation")) {
        options.automation = tavlin::ParseAutomationOption(arg);
        return options.automation.has_value();
    }
    if (arg.starts_with(tavlin::kScpiIdleOption)) {
        const std::optional<int> seconds = tavlin::ParseScpiIdleOption(arg);
        options.scpiIdleSeconds = seconds.value_or(options.scpiIdleSeconds);
        return seconds.has_value();
    }
    if (arg.starts_with("--scpi")) {
        options.scpi = tavlin::ParseScpiOption(arg);
        return options.scpi.has_value();
    }
    if (arg == "--screenshot" && hasValue) {
        options.screenshot = argv[++i];
    } else if (arg == "--size" && hasValue) {
        const std::optional<QSize> size = ParseSize(argv[++i]);
        if (!size) {
            return false;
        }
        options.size = *size;
    } else if (arg == "--sweeps" && hasValue) {
        const std::optional<int> count = ParseCount(argv[++i]);
        if (!count) {
            return false;
        }
        options.sweeps = *count;
        options.sweepsGiven = true;
    } else if (arg == "-c" && hasValue) {
        options.commands.push_back(argv[++i]);
    } else if (arg == "--dialog" && hasValue) {
        options.dialogButton = argv[++i];
    } else if (arg == "--in-dialog" && hasValue) {
        options.dialogPress = argv[++i];
    } else if (arg == "--dialog-ms" && hasValue) {
        const std::optional<int> ms = ParseCount(argv[++i]);
        if (!ms) {
            return false;
        }
        options.dialogRunMs = *ms;
    } else if (arg == "--limit-mask" && hasValue) {
        options.limitMask = argv[++i];
    } else if (arg == "--spectrogram") {
        options.spectrogram = true;
    } else if (arg == "--press" && hasValue) {
        options.presses.push_back(QString::fromLocal8Bit(argv[++i]));
    } else if (!arg.empty() && arg[0] != '-' && options.stateFile.empty()) {
        options.stateFile = arg;
    } else {
        return false;
    }
    return true;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (!ParseArgument(options, argc, argv, i)) {
            std::cerr << "tavlin: cannot use the option " << argv[i] << "\n";
            return std::nullopt;
        }
    }
    if (!options.screenshot &&
        (options.sweepsGiven || !options.commands.empty() || !options.size.isEmpty() ||
         !options.dialogButton.empty() || !options.presses.empty())) {
        std::cerr << "tavlin: --size, --sweeps, -c, --press and --dialog go with --screenshot\n";
        return std::nullopt;
    }
    if (options.dialogButton.empty() && (!options.dialogPress.empty() || options.dialogRunMs)) {
        std::cerr << "tavlin: --in-dialog and --dialog-ms go with --dialog\n";
        return std::nullopt;
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    // Before Qt or the instrument: they work without a display.
    if (const std::optional<int> status =
            tavlin::AnswerInformationOption(argc, argv, "tavlin", PrintUsage)) {
        return *status;
    }
    // As given, for starting again with the virtual USB library.
    std::vector<char*> givenArguments(argv, argv + argc + 1);
    QApplication qtApplication(argc, argv);  // takes Qt's own options out of argv
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        PrintUsage(std::cerr);
        return 2;
    }
    tavlin::QtApplication::SetSettingsKey();
    // The window's log goes to its file, or to standard error when the file
    // cannot be had; it outlives every thread that logs.
    tavlin::RotatingFileLogSink logFile(tavlin::RotatingFileLogSink::DefaultPath());
    tavlin::StderrLogSink logStderr;
    const tavlin::ScopedLogSink log(
        logFile.IsOpen() ? static_cast<tavlin::LogSink&>(logFile) : logStderr, options->logLevel);
    tavlin::LogInfo("app", std::string("tavlin ") + TAVLIN_VERSION + " started");
    if (!logFile.IsOpen()) {
        tavlin::LogWarning("app", "cannot write the log file " +
                                      tavlin::RotatingFileLogSink::DefaultPath().string());
    }
    tavlin::SteadyClock clock;
    std::unique_ptr<tavlin::UsbDriver> usb =
        tavlin::MakeUsbDriver(options->usb, clock, givenArguments.data(), "tavlin");
    if (!usb) {
        return 1;
    }
    // The factory procedures' bench: the virtual one beside the virtual
    // instrument, linux-gpib otherwise (made by the window when first used).
    std::unique_ptr<tavlin::GpibBus> bench;
    if (options->usb.source == tavlin::UsbChoice::Source::kVirtual) {
        bench = tavlin::MakeGpibBus(tavlin::BenchChoice::kVirtual, options->usb, *usb, "tavlin");
    }
    // A screenshot run has nobody at the screen: its boxes go to the error
    // stream and a Yes/No box is answered No.
    tavlin::ConsolePrompter console(std::cerr, tavlin::ConsoleAnswers(false));
    tavlin::QtApplication application(*usb, clock, options->screenshot ? &console : nullptr);
    tavlin::QtTerminationSignals terminationSignals([&application] { application.Close(); });
    if (!application.Start(options->stateFile)) {
        return 0;  // "TAVLIN NOT FOUND", or the start given up: the program closes in order
    }
    if (!options->limitMask.empty()) {
        application.Frame().LoadLimitMaskFile(QString::fromLocal8Bit(options->limitMask));
    }
    if (options->spectrogram) {
        application.Frame().ShowSpectrogram(true);
    }
    if (bench) {
        application.Frame().Calibration().UseBench(*bench);
    }
    // A port that cannot be had was reported; the window runs on without it.
    if (options->automation) {
        application.Frame().Automation().Enable(*options->automation);
    }
    if (options->scpi) {
        tavlin::ScpiSettings scpi = *options->scpi;
        scpi.idleSeconds = options->scpiIdleSeconds;
        application.Frame().Scpi().Enable(scpi);
    }
    // A signal while one of the boxes above was open: the window is closed
    // and nothing would ever end the event loop.
    if (application.Closing()) {
        return 0;
    }
    if (options->screenshot) {
        return tavlin::QtScreenshot::Take(
            application,
            {QString::fromStdString(*options->screenshot), options->sweeps, options->commands,
             QString::fromStdString(options->dialogButton), options->presses, options->size,
             QString::fromStdString(options->dialogPress), options->dialogRunMs});
    }
    return qtApplication.exec();
}
