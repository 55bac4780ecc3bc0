#pragma once

#include <istream>
#include <string>
#include <vector>

#include "remote/command_framer.h"
#include "remote/command_interpreter.h"

namespace tavlin {

class ReplySink;
class AnalyzerDocument;

// Commands of the automation language given on a command line or read from
// a stream, framed and run one after the other exactly as the automation
// server runs what arrives on its command port. The run stops when the
// instrument is lost.
class CommandScript {
  public:
    // The console's exit status: the worst of what happened.
    static constexpr int kAllDone = 0;
    static constexpr int kFileCommandFailed = 1;  // a SAV or REC failed
    static constexpr int kUnrecognized = 2;       // a command or query was not recognised
    static constexpr int kInstrumentLost = 3;     // not found, or lost and not found again

    CommandScript(AnalyzerDocument& document, ReplySink& replies)
        : doc_(document), interpreter_(replies) {}

    // Each text is framed as if a line end followed it, so one text may hold
    // several commands separated by ";".
    void RunTexts(const std::vector<std::string>& texts);
    // Everything up to the end of the stream; a last command without a line
    // end runs too.
    void RunStream(std::istream& in);

    int ExitStatus() const;

  private:
    // False when the run must stop.
    bool RunCommand(const std::string& command);

    AnalyzerDocument& doc_;
    CommandInterpreter interpreter_;
    CommandFramer framer_;
    bool unrecognized_ = false;
    bool fileCommandFailed_ = false;
    bool instrumentLost_ = false;
};

}  // namespace tavlin
