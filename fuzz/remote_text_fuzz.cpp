// libFuzzer target: the text a network client sends, through everything that
// reads it before a command touches the document. The automation server's
// framer and command split, and the SCPI socket's message parser, header
// patterns and numbers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "remote/command_framer.h"
#include "remote/command_text.h"
#include "remote/scpi_parser.h"

namespace {

const tavlin::ScpiPattern kPatterns[] = {
    tavlin::ScpiPattern("[SENSe]:FREQuency:CENTer"),
    tavlin::ScpiPattern("DISPlay:WINDow:TRACe:Y[:SCALe]:RLEVel"),
    tavlin::ScpiPattern("[CALCulate]:MARKer#:MAXimum[:PEAK]"),
    tavlin::ScpiPattern("TRACe[:DATA]"),
    tavlin::ScpiPattern("SYSTem:ERRor[:NEXT]"),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tavlin::CommandFramer framer;
    for (const char c : text) {
        if (const auto command = framer.Add(c)) {
            tavlin::CommandText::Split(*command);
        }
    }
    framer.Finish();
    for (const tavlin::ScpiUnit& unit : tavlin::ParseScpiMessage(text)) {
        for (const tavlin::ScpiPattern& pattern : kPatterns) {
            pattern.Match(unit.nodes);
        }
        for (const std::string& parameter : unit.parameters) {
            tavlin::ParseScpiNumber(parameter);
        }
    }
    return 0;
}
