#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "utilities/receiver/receiver_analysis.h"

namespace tavlin {

class AnalyzerDocument;
class InstrumentLease;

// The measuring receiver's worker: tunes 250 Hz above the centre, then
// captures and analyses pass after pass until stopped. The caller holds a
// UtilitySession for as long as the receiver may run.
class MeasuringReceiver {
  public:
    struct Display {
        std::function<void(const std::string&)> showResults;
        std::function<void(bool)> showCalRange;  // may be empty
    };

    MeasuringReceiver(InstrumentLease& instrument, Display display);
    ~MeasuringReceiver();
    MeasuringReceiver(const MeasuringReceiver&) = delete;
    MeasuringReceiver& operator=(const MeasuringReceiver&) = delete;

    // Read by the worker at the start of every pass. Controls that name no
    // filter (see ControlsRefusal) are not taken: the last good ones stay.
    void SetControls(const ReceiverControls& controls);
    // START: the worker runs until Stop; a second Start does nothing.
    void Start();
    // EXIT: the pass in progress completes and the worker has ended on return.
    void Stop();
    bool Running() const { return running_.load(); }
    // "Cal Range".
    void RequestRangeChange() { rangeChange_ = true; }

    // The procedure on the calling thread, for passes passes (or until Stop
    // when passes is 0). False when the capture failed three times running.
    bool Run(int passes);
    // The numbers of the last pass; read once Run has returned.
    const ReceiverReading& LastReading() const { return analysis_.Reading(); }

  private:
    bool Loop(int passes);
    void Tune();
    bool Pass();
    void ApplyRange(const RangeAction& action);

    InstrumentLease& instrument_;
    AnalyzerDocument& doc_;
    Display display_;
    std::mutex controlsMutex_;
    ReceiverControls controls_;
    std::atomic<bool> running_{false};
    std::atomic<bool> rangeChange_{false};
    std::thread worker_;
    ReceiverAnalysis analysis_;
    ReceiverTuning tuning_;
    std::vector<std::int32_t> i_;
    std::vector<std::int32_t> q_;
};

}  // namespace tavlin
