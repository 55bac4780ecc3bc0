#include "remote/scpi_status.h"

namespace tavlin {

void ScpiStatus::NoteError(int code) {
    if (code <= -400) {
        event_ |= kQueryError;
    } else if (code <= -300) {
        event_ |= kDeviceError;
    } else if (code <= -200) {
        event_ |= kExecutionError;
    } else {
        event_ |= kCommandError;
    }
}

void ScpiStatus::ArmOperationComplete(const SweepProgress& now) {
    pending_ = PendingCompletion{now.completed,
                                 now.continuous ? std::optional(now.started + 1) : std::nullopt};
    Observe(now);
}

int ScpiStatus::ConditionOf(const SweepProgress& now) {
    return (now.running ? kSweeping : 0) | (now.measuring ? kMeasuring : 0);
}

void ScpiStatus::Observe(const SweepProgress& now) {
    condition_ = ConditionOf(now);
    // A pass that completed since the last look was a time of sweeping, even
    // when none runs now.
    const bool passedSince = now.completed > passesSeen_;
    passesSeen_ = now.completed;
    operationEvent_ |= condition_ | (passedSince ? kSweeping : 0);
    if (!pending_) {
        return;
    }
    // A single sweep has ended once any pass completed after the command,
    // even when the client has started another since.
    const bool ended =
        !now.running || (pending_->continuousUntil ? now.completed >= *pending_->continuousUntil
                                                   : now.completed > pending_->completedBefore);
    if (ended) {
        event_ |= kOperationComplete;
        pending_.reset();
    }
}

std::uint8_t ScpiStatus::TakeEventStatus() {
    const std::uint8_t bits = event_;
    event_ = 0;
    return bits;
}

int ScpiStatus::TakeOperationEvent() {
    const int bits = operationEvent_;
    operationEvent_ = 0;
    return bits;
}

int ScpiStatus::StatusByte(const Summary& summary) const {
    int byte = (summary.errorsQueued ? kErrorAvailable : 0) |
               (summary.questionable ? kQuestionableSummary : 0) |
               (summary.messageAvailable ? kMessageAvailable : 0) |
               ((event_ & eventEnable_) != 0 ? kEventSummary : 0) |
               ((operationEvent_ & operationEnable_) != 0 ? kOperationSummary : 0);
    if ((byte & serviceEnable_) != 0) {
        byte |= kRequestService;
    }
    return byte;
}

void ScpiStatus::Clear() {
    event_ = 0;
    operationEvent_ = 0;
    pending_.reset();
}

}  // namespace tavlin
