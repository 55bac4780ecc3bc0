#include "remote/command_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavlin {
namespace {

std::vector<std::string> Frame(const std::string& input, FramingRules rules = kAutomationFraming) {
    CommandFramer framer(rules);
    std::vector<std::string> commands;
    for (const char c : input) {
        if (auto command = framer.Add(c)) {
            commands.push_back(*command);
        }
    }
    if (auto last = framer.Finish()) {
        commands.push_back(*last);
    }
    return commands;
}

// Every common line end works: a terminator with nothing before it (the LF of
// a CR LF pair) ends nothing, where the first server kept it and so lost the
// next command.
TEST(CommandFramerTest, CutsCommandsAsTheServerDoes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Frame("FRE:CEN 100000000;FRE:SPA 1000000;"),
              (V{"FRE:CEN 100000000", "FRE:SPA 1000000"}));
    EXPECT_EQ(Frame("MAR:PEA; MAR:FRE ?\n"), (V{"MAR:PEA", "MAR:FRE ?"}));
    EXPECT_EQ(Frame("*IDN?\r\nMAR:AMP ?\r\n"), (V{"*IDN?", "MAR:AMP ?"}));
    EXPECT_EQ(Frame("AB;  \t;\n;*RST"), (V{"*RST"})) << "two characters or fewer are ignored";
    EXPECT_EQ(Frame("*IDN?\r\n A;B\n \n\nX", kLineFraming), (V{"*IDN?\r", "A;B", "X"}))
        << "a line protocol ends lines at line feeds only";
}

}  // namespace
}  // namespace tavlin
