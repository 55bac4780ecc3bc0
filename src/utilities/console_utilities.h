#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace tavlin {

class AnalyzerDocument;

// A utility run from the console, as `tavlin-cli --utility NAME` asks.
struct UtilityRequest {
    std::string name;  // "receiver", "harmonics"
    int captures = 1;
    std::filesystem::path out;
};

// Runs the utility with the sweep paused, prints its results on out and
// returns 0, or prints why it could not run on err and returns 1.
int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err);

}  // namespace tavlin
