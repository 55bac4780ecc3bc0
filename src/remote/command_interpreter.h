#pragma once

#include <atomic>
#include <string>

namespace tavlin {

class CommandText;
class ReplySink;
class AnalyzerDocument;

// The automation command language: each command calls the same document
// operations as the front panel; queries hand their text to a reply sink.
// Besides the instrument's own commands it understands four common commands
// of IEEE 488.2 (*IDN?, *RST, *WAI, *OPC?), which begin with "*" and so meet
// none of the others.
class CommandInterpreter {
  public:
    static constexpr const char* kModel = "TAVLIN-44";
    static constexpr int kWaitPollMs = 50;

    explicit CommandInterpreter(ReplySink& replies) : replies_(replies) {}

    // What Interpret returns.
    static constexpr int kUnrecognized = 0;       // after the message box; its text is the command
    static constexpr int kDone = 1;               // handled, or ignored as the language does
    static constexpr int kFileCommandFailed = 2;  // SAV or REC: the message box said why
    // Well formed, but no command or query of the language has its group and
    // item: ignored without a message box, as the server has always done. A
    // console run says so, since a script author wants to hear of a typo.
    static constexpr int kNoMatch = 3;

    int Interpret(AnalyzerDocument& document, const std::string& command);

    // Ends a *WAI or *OPC? wait at once, now and from now on: the server
    // calls it when it shuts down, so its command thread can be joined.
    void StopWaiting() { stopWaiting_ = true; }

  private:
    bool InterpretCommon(AnalyzerDocument& document, const std::string& command);
    int InterpretQuery(AnalyzerDocument& document, const CommandText& command,
                       const std::string& text);
    // False when no command of the table has the group and item.
    bool InterpretCommand(AnalyzerDocument& document, const CommandText& command);
    bool RecallState(AnalyzerDocument& document, const std::string& fileName);
    bool SaveState(AnalyzerDocument& document, const std::string& fileName);
    void ReplyTrace(AnalyzerDocument& document);
    void WaitForSweepEnd(AnalyzerDocument& document);

    ReplySink& replies_;
    std::atomic<bool> stopWaiting_{false};
};

}  // namespace tavlin
