#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/receive_fifo.h"
#include "sim/receiver_model.h"
#include "sim/receiver_state.h"
#include "sim/sample_synthesizer.h"

namespace tavlin::sim {

// The unit's data channel over time. Requests ("S" captures, "T" streams,
// "N" step lists) queue up and run one after the other; their bytes appear
// as the capture proceeds in clock time:
// - a capture sends its header when sampling starts (at the next TRIG IN
//   edge when it waits for a trigger) and then its pairs at the output rate;
// - a stream does the same without end, until it is stopped;
// - a step list sends one 512-pair block per step, no header, each when that
//   step's capture is complete.
// Samples are made only when the time for them has come, from the receiver
// state in force then, so retuning during a stream shows in the samples.
// When the receive FIFO is full, captured pairs are lost (the sampler cannot
// wait); a step list instead waits for room.
class DataProducer {
  public:
    static constexpr long long kBlockPairs = 512;
    static constexpr double kStepSettleSec = 150e-6;
    static constexpr std::array<std::uint8_t, 4> kHeader = {0xA5, 0x5A, 0xF0, 0x0F};

    DataProducer(const ReceiverModel& model, const ReceiverState& state);

    // triggerPeriodSec > 0: wait for the next edge of that period; 0 with
    // waitForTrigger: no edge ever comes.
    void RequestCapture(double nowSec, long long pairs, std::uint8_t headerFirstByte,
                        bool waitForTrigger, double triggerPeriodSec);
    void StartStream(double nowSec);
    // Ends a running stream at `nowSec`; call Produce up to then first.
    void StopStream();
    void RunStepList(double nowSec, int first, int last, int missingBlock);
    // Abandons a capture still waiting for its trigger.
    void DropTriggerWaits();
    void Clear();

    // Moves everything due by `nowSec` into `rx`.
    void Produce(double nowSec, ReceiveFifo& rx);
    // Clock time by which `bytes` more bytes will have come, if no command
    // changes the course meanwhile: of the request under way only (the
    // time it ends when it has fewer), +infinity when nothing is under way.
    double ReadySec(std::size_t bytes);

    long long LostPairs() const { return lostPairs_; }

  private:
    enum class Kind { Capture, Stream, StepList };

    struct Job {
        Kind kind = Kind::Capture;
        double requestSec = 0.0;
        bool waitsForTrigger = false;
        double triggerPeriodSec = 0.0;
        bool active = false;
        double startSec = 0.0;
        double endSec = 0.0;
        bool headerSent = false;
        std::array<std::uint8_t, 4> header = kHeader;
        long long totalPairs = -1;  // -1: a stream without end
        long long producedPairs = 0;
        // Pairs are due at paceSec + (n - pacePairs) / rateHz.
        double paceSec = 0.0;
        long long pacePairs = 0;
        double rateHz = 1.0;
        std::uint64_t planVersion = 0;
        int firstStep = 0;
        int stepDirection = 1;
        int blockCount = 0;
        int blocksDone = 0;
        int missingBlock = -1;
        double blockSec = 0.0;
    };

    void Activate(Job& job);
    bool ProducePairs(Job& job, double nowSec, ReceiveFifo& rx);
    bool ProduceSteps(Job& job, double nowSec, ReceiveFifo& rx);
    void Replan(Job& job, double atSec);
    // The plan of samples taken from `atSec` on: silent while the sampler settles.
    SamplePlan PlanAt(double loHz, double atSec) const;
    void Emit(Job& job, long long pairs, ReceiveFifo& rx);
    double NextSampleSec(const Job& job) const;

    const ReceiverModel& model_;
    const ReceiverState& state_;
    SampleSynthesizer synthesizer_;
    SamplePlan plan_;
    std::deque<Job> jobs_;
    double previousEndSec_ = 0.0;
    long long lostPairs_ = 0;
    std::vector<std::uint8_t> scratch_;
};

}  // namespace tavlin::sim
