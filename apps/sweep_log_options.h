#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "view/sweep_log_settings.h"

namespace tavlin {

inline constexpr const char* kSweepLogUsage =
    "  --log-sweeps FILE   log every sweep with its UTC time to FILE (never\n"
    "                      overwritten: a taken name becomes NAME-1.csv, ...)\n"
    "  --log-format heatmap|table  the heat-map CSV rows (date, time, Hz low,\n"
    "                      Hz high, Hz step, samples, dB, ...; default) or a table\n"
    "                      with the settings in '#' lines\n"
    "  --interval S        at most one sweep logged every S seconds (10s, 5m, 1h)\n"
    "  --duration S        stop logging after S (90s, 30m, 12h, 2d)\n"
    "  --rotate SIZE|TIME  start a new file every SIZE (100M) or TIME (1h)\n"
    "  --log-margin SIZE|P%  stop logging when the disk's free room comes down to\n"
    "                      this (default the smaller of 100M and 1%)\n";

// What the sweep-log options ask for; `settings.path` empty unless
// --log-sweeps came.
struct SweepLogRequest {
    SweepLogSettings settings;
    std::string firstOption;  // the first log option given, for a refusal
    bool Asked() const { return !settings.path.empty(); }
};

inline const std::vector<OptionRule>& SweepLogOptionRules() {
    static const std::vector<OptionRule> rules = {
        {"log-sweeps", OptionValue::kRequired}, {"log-format", OptionValue::kRequired},
        {"interval", OptionValue::kRequired},   {"duration", OptionValue::kRequired},
        {"rotate", OptionValue::kRequired},     {"log-margin", OptionValue::kRequired},
    };
    return rules;
}

inline bool IsSweepLogOption(const std::string& name) {
    return std::ranges::find(SweepLogOptionRules(), name, &OptionRule::name) !=
           SweepLogOptionRules().end();
}

// One of the options above: "" when taken, else why not.
inline std::string TakeSweepLogOption(const CommandLine::Given& given, SweepLogRequest& request) {
    const std::string value = given.value.value_or("");
    SweepLogSettings& settings = request.settings;
    if (request.firstOption.empty()) {
        request.firstOption = "--" + given.name;
    }
    if (given.name == "log-sweeps") {
        settings.path = value;
        return value.empty() ? "--log-sweeps needs a file" : "";
    }
    if (given.name == "log-format") {
        const std::optional<SweepLogFormat> format = ParseSweepLogFormat(value);
        settings.format = format.value_or(settings.format);
        return format ? "" : "--log-format takes heatmap or table, not '" + value + "'";
    }
    if (given.name == "interval" || given.name == "duration") {
        const std::optional<double> seconds = ParseLogSeconds(value);
        (given.name == "interval" ? settings.intervalSec : settings.durationSec) =
            seconds.value_or(0.0);
        return seconds ? ""
                       : "--" + given.name + " takes a time (90, 90s, 5m, 1h), not '" + value + "'";
    }
    if (given.name == "rotate") {
        return ParseLogRotate(value, settings);
    }
    return ParseLogMargin(value, settings);
}

// After every option was read: the log's options without the log.
inline std::string CheckSweepLogRequest(const SweepLogRequest& request) {
    return request.firstOption.empty() || request.Asked()
               ? ""
               : request.firstOption + " goes with --log-sweeps FILE";
}

}  // namespace tavlin
