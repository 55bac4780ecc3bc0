#pragma once

#include <iostream>
#include <optional>

#include "command_line.h"

namespace tavlin {

// --help (or -h) and --version, answered before anything else is set up, so
// that they work without a display or an instrument, and whatever else the
// command line holds: the exit status, or nothing when neither was given.
template <typename PrintUsage>
std::optional<int> AnswerInformationOption(const CommandLine& line, const char* programName,
                                           PrintUsage printUsage) {
    if (line.IsSet("help") || line.IsSet("h")) {
        printUsage(std::cout);
        return 0;
    }
    if (line.IsSet("version")) {
        std::cout << programName << " " << TAVLIN_VERSION << "\n";
        return 0;
    }
    return std::nullopt;
}

}  // namespace tavlin
