#pragma once

#include <iostream>
#include <optional>
#include <string>

namespace tavlin {

// --help (or -h) and --version, answered before anything else is set up, so
// that they work without a display or an instrument: the exit status, or
// nothing when neither was given.
template <typename PrintUsage>
std::optional<int> AnswerInformationOption(int argc, char** argv, const char* programName,
                                           PrintUsage printUsage) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(std::cout);
            return 0;
        }
        if (arg == "--version") {
            std::cout << programName << " " << TAVLIN_VERSION << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace tavlin
