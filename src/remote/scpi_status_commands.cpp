// The IEEE 488.2 status words and the STATus and SYSTem subsystems of the
// SCPI session (scpi_session.cpp); the registers themselves are ScpiStatus.
#include <cmath>
#include <string>

#include "document/analyzer_document.h"
#include "remote/scpi_session.h"

namespace tavlin {

namespace {

constexpr double kLargestMask = 255.0;
constexpr double kLargestOperationMask = 32767.0;
constexpr const char* kScpiVersion = "1999.0";

}  // namespace

SweepProgress ScpiSession::Progress() const {
    SweepProgress now;
    now.running = doc_.SweepRunning();
    now.continuous = now.running && !doc_.StopRequested();
    now.started = doc_.PassesStarted();
    now.completed = doc_.PassesCompleted();
    now.measuring = doc_.UtilityOwns();
    return now;
}

bool ScpiSession::RunStatusWord(const ScpiUnit& unit, Replies& replies) {
    const std::string& word = unit.commonWord;
    Call call{unit, 1, {}};
    status_.Observe(Progress());
    if (word == "*CLS") {
        errors_.clear();
        status_.Clear();
    } else if (word == "*OPC") {
        status_.ArmOperationComplete(Progress());
    } else if (word == "*ESR?") {
        replies.Add(std::to_string(status_.TakeEventStatus()));
    } else if (word == "*ESE?") {
        replies.Add(std::to_string(status_.EventEnable()));
    } else if (word == "*ESE") {
        if (const std::optional<double> mask = Plain(call, 0, kLargestMask)) {
            status_.SetEventEnable(static_cast<std::uint8_t>(std::lround(*mask)));
        }
    } else if (word == "*SRE?") {
        replies.Add(std::to_string(status_.ServiceRequestEnable()));
    } else if (word == "*SRE") {
        if (const std::optional<double> mask = Plain(call, 0, kLargestMask)) {
            status_.SetServiceRequestEnable(static_cast<std::uint8_t>(std::lround(*mask)));
        }
    } else if (word == "*STB?") {
        const bool questionable = doc_.TraceReadingFlag() != ReadingFlag::kNone;
        replies.Add(
            std::to_string(status_.StatusByte({!errors_.empty(), questionable, replies.Any()})));
    } else {
        return false;
    }
    return true;
}

void ScpiSession::QueryOperationEvent(Call& call) {
    status_.Observe(Progress());
    call.reply = std::to_string(status_.TakeOperationEvent());
}

void ScpiSession::QueryOperationCondition(Call& call) {
    status_.Observe(Progress());
    call.reply = std::to_string(status_.OperationCondition());
}

void ScpiSession::SetOperationEnable(Call& call) {
    if (const std::optional<double> mask = Plain(call, 0, kLargestOperationMask)) {
        status_.SetOperationEnable(static_cast<int>(std::lround(*mask)));
    }
}

void ScpiSession::QueryOperationEnable(Call& call) {
    call.reply = std::to_string(status_.OperationEnable());
}

void ScpiSession::PresetStatus(Call& call) {
    if (CheckParameterCount(call.unit, 0, 0)) {
        status_.Preset();
    }
}

// Every queued error, oldest first, the queue emptied.
void ScpiSession::QueryAllErrors(Call& call) {
    std::string all;
    do {
        QueryNextError(call);
        all += (all.empty() ? "" : ",") + call.reply;
    } while (!errors_.empty());
    call.reply = all;
}

void ScpiSession::QueryVersion(Call& call) {
    call.reply = kScpiVersion;
}

}  // namespace tavlin
