#pragma once

#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "log_choice.h"
#include "remote/server_options.h"
#include "usb_driver_choice.h"

namespace tavlin {

// What both programs take from their command line: the instrument, the
// log, the servers started with them, the commands they run and the limit
// mask they load.
struct CommonOptions {
    UsbChoice usb;
    LogLevel logLevel = LogLevel::kWarning;
    std::optional<TcpIpSettings> automation;
    std::optional<ScpiSettings> scpi;
    int scpiIdleSeconds = ScpiSettings::kDefaultIdleSeconds;
    std::vector<std::string> commands;
    std::optional<std::string> limitMask;
};

// The argument as it was given: "--scpi" or "--scpi=VALUE".
inline std::string GivenArgument(const CommandLine::Given& given) {
    return "--" + given.name + (given.value ? "=" + *given.value : "");
}

// Takes one of the options above: false when it is another, true with a
// refusal naming it when its value cannot be used.
inline bool TakeCommonOption(const CommandLine::Given& given, CommonOptions& options,
                             std::string& refusal) {
    const std::string value = given.value.value_or("");
    const std::string argument = GivenArgument(given);
    if (given.name == "simulate" || given.name == "simulate-usb") {
        ParseSimulateOption(argument, options.usb);
    } else if (given.name == "log-level") {
        const std::optional<LogLevel> level = ParseLogLevel(value);
        options.logLevel = level.value_or(options.logLevel);
        refusal = level ? "" : "no log level in --log-level " + value;
    } else if (given.name == "automation") {
        options.automation = ParseAutomationOption(argument);
        refusal = options.automation ? "" : "cannot use " + argument;
    } else if (given.name == "scpi") {
        options.scpi = ParseScpiOption(argument);
        refusal = options.scpi ? "" : "cannot use " + argument;
    } else if (given.name == "scpi-idle") {
        const std::optional<int> seconds = ParseScpiIdleOption("--scpi-idle=" + value);
        options.scpiIdleSeconds = seconds.value_or(options.scpiIdleSeconds);
        refusal = seconds ? "" : "cannot use --scpi-idle " + value;
    } else if (given.name == "c") {
        options.commands.push_back(value);
    } else if (given.name == "limit-mask") {
        options.limitMask = value;
    } else {
        return false;
    }
    if (options.scpi) {
        options.scpi->idleSeconds = options.scpiIdleSeconds;
    }
    return true;
}

}  // namespace tavlin
