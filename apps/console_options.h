#pragma once

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/console_answers.h"
#include "calibration/console_procedures.h"
#include "command_line.h"
#include "common_options.h"
#include "document/iq_recorder.h"
#include "gpib_bus_choice.h"
#include "log_choice.h"
#include "panel/entry_rules.h"
#include "sweep_log_options.h"
#include "usb_driver_choice.h"
#include "utilities/console_utilities.h"

namespace tavlin {

// What tavlin-cli is asked to do.
struct ConsoleOptions : CommonOptions {
    bool info = false;
    ConsoleAnswers answers;
    std::optional<int> extraDelayMs;
    std::optional<UtilityRequest> utility;
    std::optional<std::string> procedure;
    BenchChoice bench = BenchChoice::kDefault;
    // --record-iq FILE --seconds S: the sweep's raw captures as a SigMF pair.
    std::optional<std::string> recordIq;
    std::optional<double> recordSeconds;
    SweepLogRequest sweepLog;
};

inline void PrintConsoleUsage(std::ostream& out) {
    out << "usage: tavlin-cli [--simulate[=SCENE] | --simulate-usb[=SCENE]] [--answer "
           "[KEY=]yes|no]..."
           " [--info] [-c COMMAND]...\n"
           "                  [--automation[=ADDR:CMDPORT:DATAPORT]] [--scpi[=ADDR:PORT]]\n"
           "                  [--scpi-idle SECONDS]\n"
           "                  [--utility receiver [--captures N] [--if-bandwidth HZ]\n"
           "                   [--audio-filter lp|bp] [--show am,fm] | --utility harmonics |\n"
           "                   --utility phase-noise [--out FILE.bmp] |\n"
           "                   --utility listen --audio-file FILE.wav --seconds S [--mode am|fm]\n"
           "                   [--wide] [--deemphasis US]]\n"
           "                  [--bench virtual|gpib] --procedure NAME\n"
           "                  [--limit-mask FILE.csv] [--record-iq FILE --seconds S]\n"
           "                  [--log-level LEVEL]\n"
           "                  [--log-sweeps FILE [--log-format heatmap|table] [--interval S]\n"
           "                   [--duration S] [--rotate SIZE|TIME] [--log-margin SIZE|P%]]\n"
           "  Runs each -c command of the automation language in order, or one command\n"
           "  per line from standard input when none is given, and prints the replies.\n"
           "  Options come in any order; a value follows its option as --NAME VALUE or\n"
           "  --NAME=VALUE, but an optional one only as --NAME=VALUE.\n"
        << kSimulateUsage
        << "  --automation[=...]  serve the automation server (default 127.0.0.1:3976:3977)\n"
           "                      until its client leaves\n"
           "  --scpi[=ADDR:PORT]  serve the SCPI socket (default 127.0.0.1:5025) until a\n"
           "                      client has come and gone; port 0 picks a free port.\n"
           "                      A client that comes meanwhile is told the instrument\n"
           "                      is busy and closed\n"
           "  --scpi-idle SECONDS disconnect a SCPI client that sends no command for this\n"
           "                      long (default 60; 0 never)\n"
           "  --utility NAME      run a measurement after the commands and print its\n"
           "                      results: receiver, harmonics, phase-noise or listen\n"
           "  --captures N        the receiver's captures (default 1)\n"
           "  --if-bandwidth HZ   the receiver's IF filter: 240e3, 120e3, 60e3, 30e3 or\n"
           "                      15e3 (default)\n"
           "  --audio-filter lp|bp  the receiver's audio low pass or band pass (default)\n"
           "  --show am,fm        the receiver's result blocks: am, fm (default) or both\n"
           "  --out FILE.bmp      the phase-noise plot as a bitmap\n"
           "  --audio-file FILE.wav --seconds S  the listener's recording and its length\n"
           "  --mode am|fm, --wide, --deemphasis US  the listener's demodulator (fm), its\n"
           "                      120 kHz IF (30 kHz without) and de-emphasis (125 us)\n"
           "                      A file to write is refused at once when its folder is\n"
           "                      missing or not writable\n"
           "  --procedure NAME    run a factory procedure: self-test, cal-report, adjust-all,\n"
           "                      adjust-high-band, adjust-low-band, adjust-if,\n"
           "                      adjust-phase-noise, purge-cal, store-cal, recal-tcxo or\n"
           "                      view-flatness (messages on standard error, the report in\n"
           "                      caldata.txt, the flatness pages on standard output);\n"
           "                      exit 0 when it passed\n"
           "  --limit-mask FILE   after the commands, test one new sweep against the mask\n"
           "                      (lines of Hz,dBm; 'upper'/'lower' start each limit)\n"
           "                      and print the failing points\n"
           "  --record-iq FILE --seconds S  after the commands, sweep for S seconds and\n"
           "                      record the raw I/Q of the zero-span and FFT sweeps (spans\n"
           "                      up to 200 kHz) as FILE.sigmf-meta and FILE.sigmf-data;\n"
           "                      exit 1 when the recording failed (a full disk)\n"
        << kSweepLogUsage
        << "                      The console sweeps and logs until the duration is\n"
           "                      over or SIGINT or SIGTERM comes (exit 0), or the log\n"
           "                      stops on a full or missing disk (exit 1)\n"
        << kBenchUsage << kLogLevelUsage
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

inline std::vector<OptionRule> ConsoleOptionRules() {
    std::vector<OptionRule> rules = {
        {"info"},
        {"answer", OptionValue::kRequired},
        {"answers", OptionValue::kRequired},
        {"extra-delay", OptionValue::kRequired},
        {"utility", OptionValue::kRequired},
        {"procedure", OptionValue::kRequired},
        {"bench", OptionValue::kRequired},
        {"record-iq", OptionValue::kRequired},
    };
    rules.insert(rules.end(), SweepLogOptionRules().begin(), SweepLogOptionRules().end());
    for (const UtilityOption& option : UtilityOptions()) {
        rules.push_back(
            {option.name, option.takesValue ? OptionValue::kRequired : OptionValue::kNone});
    }
    return rules;
}

// One of tavlin-cli's own options: "" when taken, else why not.
inline std::string TakeConsoleOption(const CommandLine::Given& given, ConsoleOptions& options) {
    const std::string value = given.value.value_or("");
    if (IsSweepLogOption(given.name)) {
        return TakeSweepLogOption(given, options.sweepLog);
    }
    if (given.name == "info") {
        options.info = true;
    } else if (given.name == "answer") {
        if (!options.answers.Add(value)) {
            return "--answer takes yes, no or KEY=yes|no, not '" + value + "'";
        }
    } else if (given.name == "answers") {
        std::string error;
        if (!options.answers.AddFile(value, error)) {
            return error;
        }
    } else if (given.name == "extra-delay") {
        const FieldCheck<int> delay = CheckExtraDelay(value);
        options.extraDelayMs = delay.value;
        return delay.value ? "" : "--extra-delay: " + delay.refusal;
    } else if (given.name == "utility") {
        options.utility.emplace().name = value;
        return IsUtilityName(value) ? "" : "--utility: no utility named '" + value + "'";
    } else if (given.name == "procedure") {
        options.procedure = value;
        return IsProcedureName(value) ? "" : "--procedure: no procedure named '" + value + "'";
    } else if (given.name == "record-iq") {
        options.recordIq = value;
        return OutputFileRefusal("record-iq", IqRecorder::BasePath(value).string() + ".sigmf-meta");
    } else if (given.name == "bench") {
        return ParseBenchChoice(value, options.bench)
                   ? ""
                   : "--bench must be virtual or gpib, not '" + value + "'";
    }
    return "";
}

// A utility's option, once the utility is known whatever the order.
inline std::string TakeUtilityOption(const CommandLine::Given& given, ConsoleOptions& options) {
    const auto& all = UtilityOptions();
    const auto rule = std::ranges::find(all, given.name, &UtilityOption::name);
    if (!options.utility || options.utility->name != rule->utility) {
        return "--" + given.name + " goes with --utility " + rule->utility;
    }
    return SetUtilityOption(*options.utility, given.name, given.value.value_or(""));
}

// --seconds without a utility is the I/Q recording's length.
inline std::string TakeRecordingSeconds(const CommandLine::Given& given, ConsoleOptions& options) {
    const std::string value = given.value.value_or("");
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(seconds > 0.0 && seconds <= 86400.0)) {
        return "--seconds must be more than 0 and at most 86400";
    }
    options.recordSeconds = seconds;
    return "";
}

inline bool IsUtilityOption(const std::string& name) {
    const auto& all = UtilityOptions();
    return std::ranges::find(all, name, &UtilityOption::name) != all.end();
}

// The options, or nothing with the reason on `err` (then the usage follows
// and the exit status is 2). --help and --version are answered before.
inline std::optional<ConsoleOptions> ReadConsoleOptions(const CommandLine& line,
                                                        std::ostream& err) {
    ConsoleOptions options;
    std::string refusal;
    if (!line.Positional().empty()) {
        refusal = "unknown option " + line.Positional().front();
    }
    std::vector<CommandLine::Given> utilityOptions;
    for (const CommandLine::Given& given : line.InOrder()) {
        if (!refusal.empty()) {
            break;
        }
        if (IsUtilityOption(given.name)) {
            utilityOptions.push_back(given);
        } else if (!TakeCommonOption(given, options, refusal)) {
            refusal = TakeConsoleOption(given, options);
        }
    }
    for (const CommandLine::Given& given : utilityOptions) {
        if (given.name == "seconds" && options.recordIq && !options.utility) {
            refusal = refusal.empty() ? TakeRecordingSeconds(given, options) : refusal;
            continue;
        }
        refusal = refusal.empty() ? TakeUtilityOption(given, options) : refusal;
    }
    if (refusal.empty() && options.recordIq && !options.recordSeconds) {
        refusal = "--record-iq needs --seconds S";
    }
    refusal = refusal.empty() ? CheckSweepLogRequest(options.sweepLog) : refusal;
    if (!refusal.empty()) {
        err << "tavlin-cli: " << refusal << "\n";
        return std::nullopt;
    }
    return options;
}

}  // namespace tavlin
