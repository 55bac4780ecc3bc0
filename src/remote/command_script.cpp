#include "remote/command_script.h"

#include "document/analyzer_document.h"

namespace tavlin {

void CommandScript::RunTexts(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        for (const char c : text + "\n") {
            if (const auto command = framer_.Add(c); command && !RunCommand(*command)) {
                return;
            }
        }
    }
}

void CommandScript::RunStream(std::istream& in) {
    char c = 0;
    while (in.get(c)) {
        if (const auto command = framer_.Add(c); command && !RunCommand(*command)) {
            return;
        }
    }
    if (const auto command = framer_.Finish()) {
        RunCommand(*command);
    }
}

bool CommandScript::RunCommand(const std::string& command) {
    if (doc_.CloseRequested()) {
        instrumentLost_ = true;
        return false;
    }
    const int result = interpreter_.Interpret(doc_, command);
    unrecognized_ |= result == CommandInterpreter::kUnrecognized;
    fileCommandFailed_ |= result == CommandInterpreter::kFileCommandFailed;
    if (doc_.CloseRequested()) {
        instrumentLost_ = true;  // USB:RES or *RST found no instrument
        return false;
    }
    return true;
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
