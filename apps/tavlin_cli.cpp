// tavlin-cli: the analyzer's document on the console, for scripts and tests.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_answers.h"
#include "app/console_prompter.h"
#include "app/utility_runner.h"
#include "calibration/console_procedures.h"
#include "document/analyzer_document.h"
#include "document/instrument_info.h"
#include "document/limit_mask.h"
#include "document/marker_scale.h"
#include "gpib_bus_choice.h"
#include "information_options.h"
#include "log_choice.h"
#include "panel/entry_rules.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/scoped_log_sink.h"
#include "ports/stderr_log_sink.h"
#include "ports/view_notifier.h"
#include "remote/automation_server.h"
#include "remote/command_script.h"
#include "remote/scpi_server.h"
#include "remote/server_options.h"
#include "remote/stream_reply_sink.h"
#include "usb_driver_choice.h"
#include "utilities/console_utilities.h"
#include "utilities/phase_noise/qt_phase_noise_painter.h"
#include "view/limit_verdict_text.h"

#include <QByteArray>
#include <QGuiApplication>

namespace {

struct Options {
    tavlin::UsbChoice usb;
    bool info = false;
    tavlin::ConsoleAnswers answers;
    std::optional<int> extraDelayMs;
    std::vector<std::string> commands;
    std::optional<tavlin::TcpIpSettings> automation;
    std::optional<tavlin::ScpiSettings> scpi;
    int scpiIdleSeconds = tavlin::ScpiSettings::kDefaultIdleSeconds;
    std::optional<tavlin::UtilityRequest> utility;
    std::optional<std::string> procedure;
    tavlin::BenchChoice bench = tavlin::BenchChoice::kDefault;
    std::optional<std::string> limitMask;
    tavlin::LogLevel logLevel = tavlin::LogLevel::kWarning;
};

constexpr int kLimitTestFailed = 4;
constexpr int kSweepIncomplete = 5;

void PrintUsage(std::ostream& out) {
    out << "usage: tavlin-cli [--simulate[=SCENE] | --simulate-usb[=SCENE]] [--answer "
           "[KEY=]yes|no]..."
           " [--info] [-c COMMAND]...\n"
           "                  [--automation[=ADDR:CMDPORT:DATAPORT]] [--scpi[=ADDR:PORT]]\n"
           "                  [--scpi-idle=SECONDS]\n"
           "                  [--utility receiver [--captures N] | --utility harmonics |\n"
           "                   --utility phase-noise [--out FILE.bmp] |\n"
           "                   --utility listen --audio-file FILE.wav --seconds S [--mode am|fm]\n"
           "                   [--wide] [--deemphasis US]]\n"
           "                  [--bench virtual|gpib] --procedure NAME\n"
           "                  [--limit-mask FILE.csv] [--log-level LEVEL]\n"
           "  Runs each -c command of the automation language in order, or one command\n"
           "  per line from standard input when none is given, and prints the replies.\n"
        << tavlin::kSimulateUsage
        << "  --automation[=...]  serve the automation server (default 127.0.0.1:3976:3977)\n"
           "                      until its client leaves\n"
           "  --scpi[=ADDR:PORT]  serve the SCPI socket (default 127.0.0.1:5025) until a\n"
           "                      client has come and gone; port 0 picks a free port.\n"
           "                      A client that comes meanwhile is told the instrument\n"
           "                      is busy and closed\n"
           "  --scpi-idle=SECONDS disconnect a SCPI client that sends no command for this\n"
           "                      long (default 60; 0 never)\n"
           "  --utility NAME      run a measurement after the commands and print its results\n"
           "  --procedure NAME    run a factory procedure: self-test, cal-report, adjust-all,\n"
           "                      adjust-high-band, adjust-low-band, adjust-if,\n"
           "                      adjust-phase-noise, purge-cal, store-cal, recal-tcxo or\n"
           "                      view-flatness (messages on standard error, the report in\n"
           "                      caldata.txt, the flatness pages on standard output);\n"
           "                      exit 0 when it passed\n"
           "  --limit-mask FILE   after the commands, test one new sweep against the mask\n"
           "                      (lines of Hz,dBm; 'upper'/'lower' start each limit)\n"
           "                      and print the failing points\n"
        << tavlin::kBenchUsage << tavlin::kLogLevelUsage
        << "                      (default warning), on standard error\n"
           "  --info              print the instrument's identity and calibration\n"
           "  --answer yes|no     the answer to every Yes/No question (default no)\n"
           "  --answer KEY=yes|no the answer to the questions whose caption is KEY or whose\n"
           "                      text holds it (case aside), e.g. 'TRY AGAIN?=no'; may be\n"
           "                      given again for other questions, the first that fits wins\n"
           "  --answers FILE      answers from a file, one per line as --answer takes them\n"
           "                      ('#' starts a comment)\n"
           "  --extra-delay MS    DO ALL ADJUSTMENTS waits MS more after every generator\n"
           "                      level (0 to 5000), without asking\n"
           "  --help, --version   this text, or the program's version\n"
           "  Exit status: 0 done; 1 could not set up, run or pass; 2 bad options or an\n"
           "  unrecognised command; 3 the instrument was not found or was lost;\n"
           "  4 the sweep failed the limit mask or was over range; 5 a sweep failed or\n"
           "  lost data (its readings are marked INCOMPLETE).\n";
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (tavlin::ParseSimulateOption(arg, options.usb)) {
            continue;
        }
        if (const int used = tavlin::TakeLogLevelOption(arg, argv[i + 1], options.logLevel)) {
            if (used < 0) {
                std::cerr << "tavlin-cli: no log level in " << arg
                          << (arg.find('=') == std::string::npos && i + 1 < argc
                                  ? std::string(" ") + argv[i + 1]
                                  : std::string())
                          << "\n";
                return std::nullopt;
            }
            i += used - 1;
            continue;
        }
        if (arg.starts_with("--automation")) {
            options.automation = tavlin::ParseAutomationOption(arg);
            if (!options.automation) {
                std::cerr << "tavlin-cli: cannot use " << arg << "\n";
                return std::nullopt;
            }
        } else if (arg.starts_with(tavlin::kScpiIdleOption)) {
            const std::optional<int> seconds = tavlin::ParseScpiIdleOption(arg);
            if (!seconds) {
                std::cerr << "tavlin-cli: cannot use " << arg << "\n";
                return std::nullopt;
            }
            options.scpiIdleSeconds = *seconds;
        } else if (arg.starts_with("--scpi")) {
            options.scpi = tavlin::ParseScpiOption(arg);
            if (!options.scpi) {
                std::cerr << "tavlin-cli: cannot use " << arg << "\n";
                return std::nullopt;
            }
        } else if (arg == "--limit-mask" && i + 1 < argc) {
            options.limitMask = argv[++i];
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg == "-c" && i + 1 < argc) {
            options.commands.push_back(argv[++i]);
        } else if (arg == "--utility" && i + 1 < argc) {
            options.utility.emplace().name = argv[++i];
        } else if (arg == "--procedure" && i + 1 < argc && tavlin::IsProcedureName(argv[i + 1])) {
            options.procedure = argv[++i];
        } else if (arg == "--bench" && i + 1 < argc &&
                   tavlin::ParseBenchChoice(argv[i + 1], options.bench)) {
            ++i;
        } else if (arg == "--captures" && i + 1 < argc && options.utility) {
            options.utility->captures = std::atoi(argv[++i]);
        } else if (arg == "--out" && i + 1 < argc && options.utility) {
            options.utility->out = argv[++i];
        } else if (const int used = options.utility ? tavlin::TakeListenOption(*options.utility,
                                                                               arg, argv[i + 1])
                                                    : 0;
                   used != 0) {
            if (used < 0) {
                std::cerr << "tavlin-cli: cannot use " << arg << " "
                          << (i + 1 < argc ? argv[i + 1] : "without a value") << "\n";
                return std::nullopt;
            }
            i += used - 1;
        } else if (arg == "--answer" && i + 1 < argc && options.answers.Add(argv[i + 1])) {
            ++i;
        } else if (arg == "--answers" && i + 1 < argc) {
            std::string error;
            if (!options.answers.AddFile(argv[++i], error)) {
                std::cerr << "tavlin-cli: " << error << "\n";
                return std::nullopt;
            }
        } else if (arg == "--extra-delay" && i + 1 < argc) {
            const tavlin::FieldCheck<int> delay = tavlin::CheckExtraDelay(argv[++i]);
            if (!delay.value) {
                std::cerr << "tavlin-cli: --extra-delay: " << delay.refusal << "\n";
                return std::nullopt;
            }
            options.extraDelayMs = delay.value;
        } else {
            std::cerr << "tavlin-cli: unknown option " << arg << "\n";
            return std::nullopt;
        }
    }
    if (options.scpi) {
        options.scpi->idleSeconds = options.scpiIdleSeconds;
    }
    return options;
}

// Every command as the automation server would frame and run it; the exit
// status says the worst of what happened.
int RunCommands(tavlin::AnalyzerDocument& document, const std::vector<std::string>& commands) {
    tavlin::StreamReplySink replies(std::cout);
    tavlin::CommandScript script(document, replies, std::cerr, "tavlin-cli");
    if (commands.empty()) {
        script.RunStream(std::cin);
    } else {
        script.RunTexts(commands);
    }
    return script.ExitStatus();
}

// The servers the options ask for, until their clients are done: the
// automation server switches itself off when its client leaves; the SCPI
// server serves on, so the console ends after its first client.
int Serve(tavlin::AnalyzerDocument& document, const Options& options, tavlin::Clock& clock) {
    tavlin::AutomationServer automation(document);
    // The runner outlives the server whose session may be running it.
    tavlin::UtilityRunner utilities(document);
    tavlin::ScpiServer scpi(document);
    scpi.SetUtilityRunner(&utilities);
    if (options.automation) {
        if (!automation.Enable(*options.automation)) {
            return 1;
        }
        std::cerr << "tavlin-cli: automation on " << options.automation->address << " ports "
                  << automation.CommandPort() << " and " << automation.DataPort() << std::endl;
    }
    if (options.scpi) {
        if (!scpi.Enable(*options.scpi)) {
            return 1;
        }
        std::cerr << "tavlin-cli: SCPI server on " << options.scpi->address << " port "
                  << scpi.Port() << std::endl;
    }
    while (automation.Enabled() || (scpi.Enabled() && scpi.ClientsServed() == 0)) {
        clock.SleepMs(50);
    }
    return 0;
}

// A factory procedure on the bench the options choose.
int RunProcedure(tavlin::AnalyzerDocument& document, const Options& options,
                 tavlin::UsbDriver& usb) {
    const std::unique_ptr<tavlin::GpibBus> bench =
        tavlin::MakeGpibBus(options.bench, options.usb, usb, "tavlin-cli");
    if (!bench) {
        return 1;
    }
    const tavlin::ProcedureSetup setup{".", options.extraDelayMs};
    return tavlin::RunProcedure(document, *bench, *options.procedure, setup, std::cout, std::cerr);
}

// A continuous sweep never ends by itself: it is asked to finish the pass in
// progress, so the console always comes to an end.
void FinishSweep(tavlin::AnalyzerDocument& document, tavlin::Clock& clock) {
    document.StopAfterThisPass();
    while (document.SweepRunning()) {
        clock.SleepMs(50);
    }
}

// One sweep begun after the mask is in force, tested against it: the
// failing points, then the verdict.
int RunLimitTest(tavlin::AnalyzerDocument& document, const std::string& path,
                 tavlin::Clock& clock) {
    const tavlin::LimitMaskParse parsed = tavlin::ReadLimitMaskFile(path);
    if (!parsed.mask) {
        std::cerr << "tavlin-cli: " << parsed.error << "\n";
        return 1;
    }
    FinishSweep(document, clock);
    document.SetLimitMask(*parsed.mask);
    document.OnSingle();
    FinishSweep(document, clock);
    const tavlin::LimitVerdict verdict = document.LimitTest();
    if (document.TraceReadingFlag() != tavlin::ReadingFlag::kNone) {
        std::cerr << "tavlin-cli: the sweep was incomplete and was not tested against the mask\n";
        return kSweepIncomplete;
    }
    if (!verdict.tested) {
        std::cerr << "tavlin-cli: no sweep was tested against the mask\n";
        return 1;
    }
    const tavlin::MarkerScale scale = document.ReadSettings(
        [](const tavlin::InstrumentState& s) { return tavlin::MarkerScale::From(s); });
    for (const tavlin::LimitFailure& failure : verdict.failures) {
        std::cout << tavlin::LimitFailureLine(failure, scale) << "\n";
    }
    std::cout << tavlin::LimitVerdictText(verdict, scale.ZeroSpan()) << std::endl;
    return verdict.pass ? 0 : kLimitTestFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // Before Qt or the instrument: they work without a display.
    if (const std::optional<int> status =
            tavlin::AnswerInformationOption(argc, argv, "tavlin-cli", PrintUsage)) {
        return *status;
    }
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        PrintUsage(std::cerr);
        return 2;
    }
    // Before anything that may log; it outlives every thread that does.
    tavlin::StderrLogSink logSink;
    const tavlin::ScopedLogSink log(logSink, options->logLevel);
    tavlin::SteadyClock clock;
    std::unique_ptr<tavlin::UsbDriver> usb =
        tavlin::MakeUsbDriver(options->usb, clock, argv, "tavlin-cli");
    if (!usb) {
        return 1;
    }
    // The phase-noise plot is drawn with Qt's painter and fonts: only a run
    // that saves it starts Qt, on the platform that needs no display.
    std::optional<tavlin::UtilityRequest> utility = options->utility;
    std::unique_ptr<QGuiApplication> drawing;
    if (utility && !utility->out.empty()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int qtArgc = 1;
        drawing = std::make_unique<QGuiApplication>(qtArgc, argv);
        utility->renderPhaseNoise = tavlin::RenderPhaseNoisePlot;
    }
    tavlin::ConsolePrompter prompter(std::cerr, options->answers,
                                     options->automation || options->scpi
                                         ? tavlin::ConsolePrompter::Boxes::kToLog
                                         : tavlin::ConsolePrompter::Boxes::kOnStream);
    tavlin::NullViewNotifier views;
    tavlin::NullProgressSink progress;
    tavlin::AnalyzerDocument document({*usb, clock, prompter, views, progress});
    // "TAVLIN NOT FOUND" or "PORTn Did not open" was shown: without both
    // channels nothing the options ask for can be done, and a run that goes
    // on would print an empty identity and report success.
    if (document.CloseRequested() || !document.InstrumentConnected()) {
        return tavlin::CommandScript::kInstrumentLost;
    }
    if (options->info) {
        std::cout << tavlin::FormatInstrumentInfo(document) << std::flush;
    }
    if (options->procedure) {
        const int status = RunProcedure(document, *options, *usb);
        document.CloseDocument();
        return document.CloseRequested() ? tavlin::CommandScript::kInstrumentLost : status;
    }
    int status = 0;
    const bool serving = options->automation || options->scpi;
    const bool readsCommands = !options->info && !serving && !options->limitMask;
    if (!options->utility && (!options->commands.empty() || readsCommands)) {
        status = RunCommands(document, options->commands);
    } else if (options->utility) {
        status = options->commands.empty() ? 0 : RunCommands(document, options->commands);
        if (status == 0) {
            status = tavlin::RunUtility(document, *utility, std::cout, std::cerr);
        }
    }
    if (options->limitMask && status == 0) {
        status = RunLimitTest(document, *options->limitMask, clock);
    }
    if (serving) {
        status = std::max(status, Serve(document, *options, clock));
    }
    FinishSweep(document, clock);
    document.CloseDocument();
    if (document.CloseRequested()) {
        return tavlin::CommandScript::kInstrumentLost;
    }
    // A script that read its numbers after a failed sweep must not take them
    // for a measurement: the run says so even when every command was done.
    return status == 0 && document.IncompleteSweeps() > 0 ? kSweepIncomplete : status;
}
