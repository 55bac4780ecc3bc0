#include "remote/command_script.h"

#include <optional>

#include "document/analyzer_document.h"

namespace tavlin {

void CommandScript::RunTexts(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        for (const char c : text + "\n") {
            if (!Feed(c)) {
                return;
            }
        }
    }
}

void CommandScript::RunStream(std::istream& in) {
    char c = 0;
    while (in.get(c)) {
        if (!Feed(c)) {
            return;
        }
    }
    if (const auto command = framer_.Finish()) {
        RunCommand(*command);
    }
}

bool CommandScript::Feed(char c) {
    const std::optional<std::string> command = framer_.Add(c);
    if (framer_.TakeOverflow()) {
        warnings_ << program_ << ": a command longer than " << CommandFramer::kLongestCommand
                  << " characters without a terminator was dropped\n";
        unrecognized_ = true;
    }
    return !command || RunCommand(*command);
}

bool CommandScript::RunCommand(const std::string& command) {
    if (doc_.CloseRequested()) {
        instrumentLost_ = true;
        return false;
    }
    CallBeforeTraceRead(command);
    const int result = interpreter_.Interpret(doc_, command);
    if (result == CommandInterpreter::kNoMatch) {
        warnings_ << program_ << ": \"" << command
                  << "\" matches no command or query of the language; ignored\n";
    }
    unrecognized_ |=
        result == CommandInterpreter::kUnrecognized || result == CommandInterpreter::kNoMatch;
    fileCommandFailed_ |= result == CommandInterpreter::kFileCommandFailed;
    if (doc_.CloseRequested()) {
        instrumentLost_ = true;  // USB:RES or *RST found no instrument
        return false;
    }
    return true;
}

void CommandScript::CallBeforeTraceRead(const std::string& command) {
    if (!beforeTraceRead_) {
        return;
    }
    const std::optional<CommandText> split = CommandText::Split(command);
    if (split && (split->group == "MAR" || split->group == "TRA")) {
        const std::function<void()> hook = std::move(beforeTraceRead_);
        beforeTraceRead_ = nullptr;
        hook();
    }
}

int CommandScript::ExitStatus() const {
    if (instrumentLost_) {
        return kInstrumentLost;
    }
    if (unrecognized_) {
        return kUnrecognized;
    }
    return fileCommandFailed_ ? kFileCommandFailed : kAllDone;
}

}  // namespace tavlin
