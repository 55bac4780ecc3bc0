#include "document/instrument_lease.h"

#include "document/analyzer_document.h"

namespace tavlin {

DeviceLink& InstrumentLease::Link() {
    return doc_.link_;
}

CalTable& InstrumentLease::Table() {
    return doc_.calTable_;
}

SweepPlan InstrumentLease::Plan() const {
    return doc_.engine_.PlanInForce();
}

long InstrumentLease::MissingDataCount() const {
    return doc_.engine_.MissingDataCount();
}

void InstrumentLease::HintPeak(double freqHz) {
    doc_.engine_.HintPeak(freqHz);
}

SweepContext InstrumentLease::BindContext(const SweepSettings& settings, SweepTrace& trace,
                                          SweepOutcome& outcome) {
    SweepContext context{doc_.engine_,
                         doc_.link_,
                         doc_.calTable_,
                         doc_.GetPrompter(),
                         doc_.GetProgress(),
                         doc_.GetClock(),
                         doc_.stopRequest_,
                         settings,
                         trace,
                         outcome,
                         [] { return false; },
                         [] { return 1; }};
    context.plan = doc_.engine_.PlanInForce();
    return context;
}

SweepPlan InstrumentLease::PrepareSweep(SweepContext& context) {
    return doc_.engine_.PrepareSweep(context);
}

LoTuning InstrumentLease::TuneLocalOscillators(SweepContext& context) {
    doc_.engine_.PlanLocalOscillators(context);
    return doc_.engine_.Tuning();
}

LoTuning InstrumentLease::TuneReceiverOscillators(SweepContext& context) {
    doc_.engine_.PlanReceiverOscillators(context);
    return doc_.engine_.Tuning();
}

void InstrumentLease::ForgetLoPlan() {
    doc_.engine_.ForgetLoPlan();
}

void InstrumentLease::SelectWindow(int windowType) {
    doc_.engine_.SelectWindow(windowType);
}

void InstrumentLease::RequestStop(bool stop) {
    doc_.stopRequest_ = stop ? 1 : 0;
}

void InstrumentLease::ReturnToFirstIf() {
    doc_.link_.SetIfPath(0);
}

}  // namespace tavlin
