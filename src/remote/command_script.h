#pragma once

#include <istream>
#include <string>
#include <vector>

#include "remote/command_interpreter.h"

namespace tavlin {

class ReplySink;
class AnalyzerDocument;

// Commands of the automation language given on a command line or read from
// a stream, run one after the other as the automation server would run
// them. Line ends and leading blanks are dropped; blank lines are skipped.
class CommandScript {
  public:
    CommandScript(AnalyzerDocument& document, ReplySink& replies)
        : doc_(document), interpreter_(replies) {}

    // False when the command was not recognised (its message box was shown).
    bool Run(std::string command);
    // True when every command was recognised; all run regardless.
    bool RunAll(const std::vector<std::string>& commands);
    bool RunLines(std::istream& in);

  private:
    AnalyzerDocument& doc_;
    CommandInterpreter interpreter_;
};

}  // namespace tavlin
