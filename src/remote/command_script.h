#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "remote/command_framer.h"
#include "remote/command_interpreter.h"
#include "remote/command_text.h"

namespace tavlin {

class ReplySink;
class AnalyzerDocument;

// Commands of the automation language given on a command line or read from
// a stream, framed and run one after the other exactly as the automation
// server runs what arrives on its command port. The run stops when the
// instrument is lost.
//
// Unlike the server, a script does not let a command that matches nothing
// pass in silence: a typo in a script would otherwise measure the wrong thing
// without a word. It is named on the warning stream and counts as not
// recognised.
class CommandScript {
  public:
    // The console's exit status: the worst of what happened.
    static constexpr int kAllDone = 0;
    static constexpr int kFileCommandFailed = 1;  // a SAV or REC failed
    static constexpr int kUnrecognized = 2;       // a command or query was not recognised
    static constexpr int kInstrumentLost = 3;     // not found or not opened, or lost for good

    // `program` begins each warning ("tavlin-cli: ...").
    CommandScript(AnalyzerDocument& document, ReplySink& replies, std::ostream& warnings,
                  std::string program)
        : doc_(document),
          interpreter_(replies),
          warnings_(warnings),
          program_(std::move(program)) {}

    // Called once, before the first command that reads the trace or places a
    // marker (groups MAR and TRA), so that a script can sweep first.
    void BeforeFirstTraceRead(std::function<void()> hook) { beforeTraceRead_ = std::move(hook); }

    // Each text is framed as if a line end followed it, so one text may hold
    // several commands separated by ";".
    void RunTexts(const std::vector<std::string>& texts);
    // Everything up to the end of the stream; a last command without a line
    // end runs too.
    void RunStream(std::istream& in);

    int ExitStatus() const;

  private:
    // False when the run must stop.
    bool Feed(char c);
    bool RunCommand(const std::string& command);
    void CallBeforeTraceRead(const std::string& command);

    AnalyzerDocument& doc_;
    CommandInterpreter interpreter_;
    std::ostream& warnings_;
    std::string program_;
    std::function<void()> beforeTraceRead_;
    CommandFramer framer_;
    bool unrecognized_ = false;
    bool fileCommandFailed_ = false;
    bool instrumentLost_ = false;
};

}  // namespace tavlin
