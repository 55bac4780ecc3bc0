#pragma once

#include <string>
#include <string_view>

namespace tavlin {

class AnalyzerDocument;
class StateFileNames;

// The keys of the web page, each doing what the window's key of that name
// does: the same entry checks, the same front-panel commands.
//   center, span     a frequency as the keypad takes it ("915", "2.4 GHz",
//                    "100k"); a bare number is in MHz
//   reference        a level in dBm
//   rbw-ratio        the span / RBW ratio
//   single, continuous, peak, marker-to-center   no value
//   spectrogram      "on" or "off"
//   load             the name of a state file in the server's folder
class WebControls {
  public:
    WebControls(AnalyzerDocument& document, const StateFileNames& states)
        : doc_(document), states_(states) {}

    static bool Known(std::string_view action);
    // Empty when done, else why not, in the words the window's dialog uses.
    std::string Run(std::string_view action, std::string_view value);

  private:
    std::string EnterFrequency(std::string_view action, std::string_view value);
    std::string EnterReference(std::string_view value);
    std::string EnterRbwRatio(std::string_view value);
    std::string Load(std::string_view name);

    AnalyzerDocument& doc_;
    const StateFileNames& states_;
};

}  // namespace tavlin
