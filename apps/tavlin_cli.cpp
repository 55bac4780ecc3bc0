// tavlin-cli: the analyzer's document on the console, for scripts and tests.
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console_prompter.h"
#include "document/analyzer_document.h"
#include "document/instrument_info.h"
#include "ports/clock.h"
#include "ports/progress_sink.h"
#include "ports/view_notifier.h"
#include "remote/command_script.h"
#include "remote/stream_reply_sink.h"
#include "usb_driver_choice.h"
#include "utilities/console_utilities.h"

namespace {

struct Options {
    tavlin::UsbChoice usb;
    bool info = false;
    bool answerYes = false;
    std::vector<std::string> commands;
    std::optional<tavlin::UtilityRequest> utility;
};

void PrintUsage(std::ostream& out) {
    out << "usage: tavlin-cli [--simulate[=SCENE] | --simulate-usb[=SCENE]] [--answer yes|no]"
           " [--info] [-c COMMAND]... [--utility receiver [--captures N]]\n"
           "  Runs each -c command of the automation language in order, or one command\n"
           "  per line from standard input when none is given, and prints the replies.\n"
           "  --utility runs a measurement after the commands and prints its results.\n"
        << tavlin::kSimulateUsage;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (tavlin::ParseSimulateOption(arg, options.usb)) {
            continue;
        }
        if (arg == "--info") {
            options.info = true;
        } else if (arg == "-c" && i + 1 < argc) {
            options.commands.push_back(argv[++i]);
        } else if (arg == "--utility" && i + 1 < argc) {
            options.utility.emplace().name = argv[++i];
        } else if (arg == "--captures" && i + 1 < argc && options.utility) {
            options.utility->captures = std::atoi(argv[++i]);
        } else if (arg == "--answer" && i + 1 < argc &&
                   (std::string(argv[i + 1]) == "yes" || std::string(argv[i + 1]) == "no")) {
            options.answerYes = std::string(argv[++i]) == "yes";
        } else {
            std::cerr << "tavlin-cli: unknown option " << arg << "\n";
            return std::nullopt;
        }
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

// A continuous sweep never ends by itself: it is asked to finish the pass in
// progress, so the console always comes to an end.
void FinishSweep(tavlin::AnalyzerDocument& document, tavlin::Clock& clock) {
    document.StopAfterThisPass();
    while (document.SweepRunning()) {
        clock.SleepMs(50);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        PrintUsage(std::cerr);
        return 2;
    }
    tavlin::SteadyClock clock;
    std::unique_ptr<tavlin::UsbDriver> usb =
        tavlin::MakeUsbDriver(options->usb, clock, argv, "tavlin-cli");
    if (!usb) {
        return 1;
    }
    tavlin::ConsolePrompter prompter(std::cerr, options->answerYes);
    tavlin::NullViewNotifier views;
    tavlin::NullProgressSink progress;
    tavlin::AnalyzerDocument document({*usb, clock, prompter, views, progress});
    if (document.CloseRequested()) {
        return tavlin::CommandScript::kInstrumentLost;  // "TAVLIN NOT FOUND" was shown
    }
    if (options->info) {
        std::cout << tavlin::FormatInstrumentInfo(document) << std::flush;
    }
    int status = 0;
    if (!options->utility && (!options->info || !options->commands.empty())) {
        status = RunCommands(document, options->commands);
    } else if (options->utility) {
        status = options->commands.empty() ? 0 : RunCommands(document, options->commands);
        if (status == 0) {
            status = tavlin::RunUtility(document, *options->utility, std::cout, std::cerr);
        }
    }
    FinishSweep(document, clock);
    document.CloseDocument();
    return document.CloseRequested() ? tavlin::CommandScript::kInstrumentLost : status;
}
