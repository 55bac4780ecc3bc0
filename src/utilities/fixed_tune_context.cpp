#include "utilities/fixed_tune_context.h"

#include "document/analyzer_document.h"

namespace tavlin {

namespace {

SweepSettings AtOneFrequency(AnalyzerDocument& document, double freqHz) {
    SweepSettings settings = document.TakeSweepSettings();
    settings.startHz = freqHz;
    settings.stopHz = freqHz;
    return settings;
}

}  // namespace

FixedTuneContext::FixedTuneContext(InstrumentLease& instrument, double freqHz)
    : settings(AtOneFrequency(instrument.Document(), freqHz)),
      context(instrument.BindContext(settings, trace, outcome)) {
    instrument.PrepareSweep(context);
}

}  // namespace tavlin
