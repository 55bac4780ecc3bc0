#pragma once

#include <atomic>
#include <string>

#include "remote/remote_file_name.h"

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

    // `fileNames`: what SAV and REC accept; a name the rule refuses is an
    // unrecognised command.
    explicit CommandInterpreter(ReplySink& replies, FileNames fileNames = FileNames::AnyPath)
        : replies_(replies), fileNames_(fileNames) {}

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
    int ReplyMeasurement(AnalyzerDocument& document, const std::string& item);
    void ReplyTrace(AnalyzerDocument& document);

    ReplySink& replies_;
    FileNames fileNames_;
    std::atomic<bool> stopWaiting_{false};
};

// *WAI and *OPC?: a sweep that is going to end (SINGLE, or continuous
// sweeping told to stop) is waited for to its end; while sweeping
// continuously, until a pass that began after the call is complete. Returns
// at once with no sweep running, and when `stop` becomes true.
void WaitForSweepToEnd(AnalyzerDocument& document, const std::atomic<bool>& stop);

}  // namespace tavlin
