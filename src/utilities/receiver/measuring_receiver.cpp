#include "utilities/receiver/measuring_receiver.h"

#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "ports/log.h"
#include "utilities/fixed_tune_context.h"

namespace tavlin {

namespace {

constexpr double kTuneAboveHz = 250.0;  // keeps the carrier off the sampler's DC
constexpr double kNormalRangeDb = 15.0;
constexpr double kSensitiveRangeDb = 0.0;
constexpr int kLessSensitivePath = 0;
constexpr int kMoreSensitivePath = 2;
constexpr int kFailuresToGiveUp = 3;

}  // namespace

MeasuringReceiver::MeasuringReceiver(InstrumentLease& instrument, Display display)
    : instrument_(instrument),
      doc_(instrument.Document()),
      display_(std::move(display)),
      i_(ReceiverAnalysis::kSamples),
      q_(ReceiverAnalysis::kSamples) {}

MeasuringReceiver::~MeasuringReceiver() {
    Stop();
}

void MeasuringReceiver::SetControls(const ReceiverControls& controls) {
    if (!ControlsRefusal(controls, DecimationForBandwidth(controls.ifBandwidth)).empty()) {
        return;
    }
    std::lock_guard lock(controlsMutex_);
    controls_ = controls;
}

void MeasuringReceiver::Start() {
    if (running_.exchange(true)) {
        return;
    }
    if (worker_.joinable()) {
        worker_.join();
    }
    LogInfo("utility", "measuring receiver started");
    worker_ = std::thread([this] { Loop(0); });
}

void MeasuringReceiver::Stop() {
    running_ = false;
    if (worker_.joinable()) {
        worker_.join();
        LogInfo("utility", "measuring receiver stopped");
    }
}

bool MeasuringReceiver::Run(int passes) {
    running_ = true;
    return Loop(passes);
}

bool MeasuringReceiver::Loop(int passes) {
    Tune();
    int done = 0;
    int failures = 0;
    while (running_.load() && (passes == 0 || done < passes)) {
        if (Pass()) {
            ++done;
            failures = 0;
        } else if (++failures == kFailuresToGiveUp && passes != 0) {
            break;
        }
    }
    running_ = false;
    return passes == 0 || done == passes;
}

// The receiver tunes the engine alone: the document's start and stop stay as
// they are, so the screen, its markers and its trace survive the utility.
void MeasuringReceiver::Tune() {
    const double tunedHz = doc_.Frequencies().CenterHz() + kTuneAboveHz;
    FixedTuneContext tuned(instrument_, tunedHz);
    SweepContext& context = tuned.context;
    instrument_.Link().SetAttenuator(kNormalRangeDb);
    instrument_.Link().SetGainMode(kLessSensitivePath);
    const LoTuning lo = instrument_.TuneReceiverOscillators(context);
    tuning_.tunedHz = tunedHz;
    tuning_.loHighSide = lo.lo1HighSide;
    tuning_.mirrored = lo.clockMode == 1 && !lo.lo2SecondIf;
    tuning_.loErrorHz = lo.lo1ErrorHz;
    tuning_.sampleRateHz = context.plan.receiver.sampleRateHz;
    analysis_.Restart();
}

bool MeasuringReceiver::Pass() {
    ReceiverControls controls;
    {
        std::lock_guard lock(controlsMutex_);
        controls = controls_;
    }
    tuning_.decimation = DecimationForBandwidth(controls.ifBandwidth);
    instrument_.Link().SetDecimation(tuning_.decimation);
    if (instrument_.Link().ReadSweepSamples(i_, q_, ReceiverAnalysis::kSamples) != 0) {
        return false;
    }
    const std::string text = analysis_.Process(i_, q_, tuning_, controls);
    if (rangeChange_.exchange(false)) {
        analysis_.RequestRangeChange();
    }
    ApplyRange(analysis_.UpdateRange());
    if (display_.showResults) {
        display_.showResults(text);
    }
    return true;
}

void MeasuringReceiver::ApplyRange(const RangeAction& action) {
    if (action.button != RangeAction::Button::Keep && display_.showCalRange) {
        display_.showCalRange(action.button == RangeAction::Button::Show);
    }
    if (action.range == RangeAction::Range::Sensitive) {
        instrument_.Link().SetAttenuator(kSensitiveRangeDb);
        instrument_.Link().SetGainMode(kMoreSensitivePath);
    } else if (action.range == RangeAction::Range::Normal) {
        instrument_.Link().SetAttenuator(kNormalRangeDb);
        instrument_.Link().SetGainMode(kLessSensitivePath);
    }
}

}  // namespace tavlin
