#pragma once

#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/console_answers.h"
#include "command_line.h"
#include "common_options.h"
#include "log_choice.h"
#include "panel/web/web_access.h"
#include "panel/web/web_server.h"
#include "sweep_log_options.h"
#include "usb_driver_choice.h"

namespace tavlin {

// What tavlin-server is asked to do. It always serves SCPI; its log keeps
// what happens to the unit unless told to keep less.
struct ServerOptions : CommonOptions {
    ServerOptions() {
        logLevel = LogLevel::kInfo;
        scpi = ParseScpiOption("--scpi");
    }
    ConsoleAnswers answers;
    std::optional<std::string> serial;
    std::optional<std::string> statePath;
    std::optional<WebSettings> web;
    std::optional<std::string> tokenFile;
    bool readOnly = false;
    SweepLogRequest sweepLog;
};

// A lost link is reset without a person: the reset question is answered Yes
// unless the user's own answers say otherwise.
inline constexpr const char* kServerPolicyAnswer = "ERROR 6=yes";

inline void PrintServerUsage(std::ostream& out) {
    out << "usage: tavlin-server [--simulate[=SCENE] | --simulate-usb[=SCENE]] [--serial SERIAL]\n"
           "                     [--state FILE] [--scpi=ADDR:PORT] [--scpi-idle SECONDS]\n"
           "                     [--automation[=ADDR:CMDPORT:DATAPORT]] [--web[=ADDR:PORT]]\n"
           "                     [--token-file FILE] [--read-only] [--log-level LEVEL]\n"
           "                     [--answer [KEY=]yes|no]... [--answers FILE]\n"
           "                     [--log-sweeps FILE [--log-format heatmap|table] [--interval S]\n"
           "                      [--duration S] [--rotate SIZE|TIME] [--log-margin SIZE|P%]]\n"
           "  Sweeps one instrument continuously and serves it until SIGTERM or SIGINT.\n"
           "  A unit that is unplugged is looked for again every few seconds and sweeps\n"
           "  on with the same settings when it is back.\n"
        << kSimulateUsage
        << "  --serial SERIAL     the unit with this serial number (default: the first free)\n"
           "  --state FILE        start from this state file\n"
           "  --scpi=ADDR:PORT    the SCPI socket (default 127.0.0.1:5025), for one client\n"
           "                      after another; port 0 picks a free port\n"
           "  --scpi-idle SECONDS disconnect a SCPI client that sends no command for this\n"
           "                      long (default 60; 0 never)\n"
           "  --automation[=...]  the automation server too (default 127.0.0.1:3976:3977),\n"
           "                      switched on again after each client leaves\n"
           "  --web[=ADDR:PORT]   the web page: the live screen and the keys, in a\n"
           "                      browser (default 127.0.0.1:8080; port 0 a free one)\n"
           "  --token-file FILE   every request of the page must bring the token this\n"
           "                      file holds (made, readable by its owner alone, when\n"
           "                      missing); needed unless ADDR is a loopback address\n"
           "  --read-only         the page shows the screen but takes no key\n"
        << kSweepLogUsage << "                      One log runs on while the unit comes and goes\n"
        << kLogLevelUsage
        << "                      (default info), on standard error, one line per event\n"
           "  --answer yes|no     the answer to every Yes/No question (default no; the USB\n"
           "  --answer KEY=yes|no reset question \"ERROR 6\" is answered yes unless an\n"
           "  --answers FILE      answer given here fits it), as tavlin-cli takes them\n"
           "  --help, --version   this text, or the program's version\n"
           "  Exit status: 0 stopped by a signal; 1 a server could not start; 2 bad\n"
           "  options or a refused state file; 3 the instrument was not found.\n";
}

inline std::vector<OptionRule> ServerOptionRules() {
    std::vector<OptionRule> rules = {
        {"serial", OptionValue::kRequired},
        {"state", OptionValue::kRequired},
        {"answer", OptionValue::kRequired},
        {"answers", OptionValue::kRequired},
        {"web", OptionValue::kOptional},
        {"token-file", OptionValue::kRequired},
        {"read-only"},
    };
    rules.insert(rules.end(), SweepLogOptionRules().begin(), SweepLogOptionRules().end());
    return rules;
}

inline std::string TakeWebOption(const std::string& argument, ServerOptions& options) {
    const std::optional<ListenAddress> address = ParseWebOption(argument);
    if (!address) {
        return "cannot use " + argument;
    }
    options.web.emplace();
    options.web->address = address->address;
    options.web->port = address->port;
    return "";
}

// The token file and read-only belong to the page; a page that others can
// reach is never served without a token.
inline std::string CompleteWebSettings(ServerOptions& options) {
    if (!options.web) {
        return options.tokenFile || options.readOnly ? "--token-file and --read-only need --web"
                                                     : "";
    }
    if (options.tokenFile) {
        options.web->tokenFile = *options.tokenFile;
    }
    options.web->readOnly = options.readOnly;
    if (WebAccess::NeedsToken(options.web->address, false) && !options.tokenFile) {
        return "a web page on " + options.web->address + " needs --token-file";
    }
    return "";
}

// One of tavlin-server's own options: "" when taken, else why not.
inline std::string TakeServerOption(const CommandLine::Given& given, ServerOptions& options) {
    const std::string value = given.value.value_or("");
    if (IsSweepLogOption(given.name)) {
        return TakeSweepLogOption(given, options.sweepLog);
    }
    if (given.name == "serial") {
        options.serial = value;
        return value.empty() ? "--serial needs the unit's serial number" : "";
    }
    if (given.name == "state") {
        options.statePath = value;
    } else if (given.name == "answer") {
        return options.answers.Add(value)
                   ? ""
                   : "--answer takes yes, no or KEY=yes|no, not '" + value + "'";
    } else if (given.name == "web") {
        return TakeWebOption(GivenArgument(given), options);
    } else if (given.name == "token-file") {
        options.tokenFile = value;
    } else if (given.name == "read-only") {
        options.readOnly = true;
    } else if (given.name == "answers") {
        std::string error;
        return options.answers.AddFile(value, error) ? "" : error;
    } else {
        const char* dashes = given.name.size() == 1 ? "-" : "--";
        return dashes + given.name + " is tavlin-cli's, not the server's";
    }
    return "";
}

// The options, or nothing with the reason on `err` (then the usage follows
// and the exit status is 2). --help and --version are answered before.
inline std::optional<ServerOptions> ReadServerOptions(const CommandLine& line, std::ostream& err) {
    ServerOptions options;
    std::string refusal;
    if (!line.Positional().empty()) {
        refusal = "unknown option " + line.Positional().front();
    }
    for (const CommandLine::Given& given : line.InOrder()) {
        const bool commandsOrMask = given.name == "c" || given.name == "limit-mask";
        if (refusal.empty() && (commandsOrMask || !TakeCommonOption(given, options, refusal))) {
            refusal = TakeServerOption(given, options);
        }
    }
    if (refusal.empty()) {
        refusal = CompleteWebSettings(options);
    }
    refusal = refusal.empty() ? CheckSweepLogRequest(options.sweepLog) : refusal;
    if (!refusal.empty()) {
        err << "tavlin-server: " << refusal << "\n";
        return std::nullopt;
    }
    options.answers.Add(kServerPolicyAnswer);
    return options;
}

}  // namespace tavlin
