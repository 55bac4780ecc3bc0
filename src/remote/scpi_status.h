#pragma once

#include <cstdint>
#include <optional>

namespace tavlin {

// How far the sweep has come, as the status registers see it when a client
// asks: the document's pass counters and run state.
struct SweepProgress {
    bool running = false;
    bool continuous = false;  // running with no stop asked for
    std::uint64_t started = 0;
    std::uint64_t completed = 0;
    bool measuring = false;  // a utility has the instrument
};

// The IEEE 488.2 status registers of one SCPI session: the standard event
// status register and its enable, the service request enable, and the
// operation status register (condition, latched events, enable). The
// registers change only when the client sends something, so each reading is
// preceded by a look at the sweep (Observe): what happened in between is
// latched from the document's pass counters, not lost.
class ScpiStatus {
  public:
    // Standard event status bits.
    static constexpr std::uint8_t kOperationComplete = 1;
    static constexpr std::uint8_t kQueryError = 4;
    static constexpr std::uint8_t kDeviceError = 8;
    static constexpr std::uint8_t kExecutionError = 16;
    static constexpr std::uint8_t kCommandError = 32;
    // Operation status bits, numbered as SCPI numbers them.
    static constexpr int kSweeping = 8;
    static constexpr int kMeasuring = 16;
    // Status byte bits.
    static constexpr int kErrorAvailable = 4;
    static constexpr int kQuestionableSummary = 8;
    static constexpr int kMessageAvailable = 16;
    static constexpr int kEventSummary = 32;
    static constexpr int kRequestService = 64;
    static constexpr int kOperationSummary = 128;

    // What the status byte summarises besides the registers kept here.
    struct Summary {
        bool errorsQueued = false;
        bool questionable = false;
        bool messageAvailable = false;  // replies of this message not yet ended
    };

    // The event bit an error number sets (-100 .. -199 command, -200 ..
    // -299 execution, -300 .. -399 device, -400 .. query errors).
    void NoteError(int code);
    // *OPC: bit 0 is set once the sweep in progress has ended, or at once
    // when none runs. A continuous sweep counts as ended after a whole pass
    // begun after the command.
    void ArmOperationComplete(const SweepProgress& now);
    // Latches what happened since the last look; call before every reading.
    void Observe(const SweepProgress& now);

    // *ESR?: read and cleared.
    std::uint8_t TakeEventStatus();
    std::uint8_t EventEnable() const { return eventEnable_; }
    void SetEventEnable(std::uint8_t mask) { eventEnable_ = mask; }
    // Bit 6 cannot be enabled: it is the request itself.
    std::uint8_t ServiceRequestEnable() const { return serviceEnable_; }
    void SetServiceRequestEnable(std::uint8_t mask) { serviceEnable_ = mask & ~kRequestService; }
    int StatusByte(const Summary& summary) const;

    int OperationCondition() const { return condition_; }
    // STATus:OPERation[:EVENt]?: read and cleared.
    int TakeOperationEvent();
    int OperationEnable() const { return operationEnable_; }
    void SetOperationEnable(int mask) { operationEnable_ = mask; }

    // *CLS: the event registers and a pending *OPC cleared; enables kept.
    void Clear();
    // STATus:PRESet: the operation enable back to 0.
    void Preset() { operationEnable_ = 0; }

  private:
    static int ConditionOf(const SweepProgress& now);

    std::uint8_t event_ = 0;
    std::uint8_t eventEnable_ = 0;
    std::uint8_t serviceEnable_ = 0;
    int condition_ = 0;
    int operationEvent_ = 0;
    int operationEnable_ = 0;
    std::uint64_t passesSeen_ = 0;
    // A pending *OPC: the passes completed when it came, and for a
    // continuous sweep the pass that must complete.
    struct PendingCompletion {
        std::uint64_t completedBefore = 0;
        std::optional<std::uint64_t> continuousUntil;
    };
    std::optional<PendingCompletion> pending_;
};

}  // namespace tavlin
