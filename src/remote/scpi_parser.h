#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlin {

// One node of a SCPI header: its mnemonic in upper case and its numeric
// suffix ("MARKer2": MARK, 2; 0 when none was written).
struct ScpiNode {
    std::string mnemonic;
    int suffix = 0;
};

// One command or query of a program message: "FREQ:CENT 1 GHZ" or "*IDN?".
struct ScpiUnit {
    bool malformed = false;       // the header is no legal SCPI header
    bool common = false;          // an IEEE 488.2 common command ("*" word)
    std::string commonWord;       // upper case, with "*" and any "?"
    std::vector<ScpiNode> nodes;  // the full path, the compound rule applied
    bool query = false;
    std::vector<std::string> parameters;  // as sent, blanks around them dropped
};

// Cuts a program message (one line, its terminator removed) into units at
// each ";" outside a quoted string. A header that does not begin with ":"
// continues the path of the command before it, as the compound rule of SCPI
// says: "FREQ:CENT 1e9;SPAN 1e6" sets the span too; common commands leave
// the path alone.
std::vector<ScpiUnit> ParseScpiMessage(std::string_view message);

// A header pattern in the usual notation: "[SENSe]:FREQuency:CENTer",
// "CALCulate:MARKer#:X". The upper-case part of a mnemonic is its short form,
// the whole word its long form, and either matches in any case. A node in
// brackets may be left out; "#" takes a numeric suffix (1 when none is
// written); a node without "#" takes none.
class ScpiPattern {
  public:
    explicit ScpiPattern(std::string_view text);
    // The suffix the header gave the "#" node (1 when left out), or nothing
    // when the header does not match.
    std::optional<int> Match(const std::vector<ScpiNode>& header) const;

  private:
    struct Node {
        std::string shortForm;
        std::string longForm;
        bool optional = false;
        bool takesSuffix = false;
    };
    bool MatchFrom(const std::vector<ScpiNode>& header, std::size_t h, std::size_t p,
                   int& suffix) const;

    std::vector<Node> nodes_;
};

// A number with an optional unit ("915e6", "915 MHZ", "-20dBm"): the value
// and the unit's text in upper case. Nothing when it does not begin with a
// number.
struct ScpiNumber {
    double value = 0.0;
    std::string unit;
};
std::optional<ScpiNumber> ParseScpiNumber(std::string_view text);

std::string ScpiUpper(std::string_view text);

}  // namespace tavlin
