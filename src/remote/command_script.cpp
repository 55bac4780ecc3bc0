#include "remote/command_script.h"

namespace tavlin {

bool CommandScript::Run(std::string command) {
    while (!command.empty() && (command.back() == '\r' || command.back() == '\n')) {
        command.pop_back();
    }
    const auto first = command.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return true;
    }
    return interpreter_.Interpret(doc_, command.substr(first)) != 0;
}

bool CommandScript::RunAll(const std::vector<std::string>& commands) {
    bool allRecognised = true;
    for (const std::string& command : commands) {
        allRecognised &= Run(command);
    }
    return allRecognised;
}

bool CommandScript::RunLines(std::istream& in) {
    bool allRecognised = true;
    std::string line;
    while (std::getline(in, line)) {
        allRecognised &= Run(line);
    }
    return allRecognised;
}

}  // namespace tavlin
