#include "utilities/fixed_tune_context.h"

namespace tavlin {

namespace {

SweepSettings AtOneFrequency(AnalyzerDocument& document, double freqHz) {
    SweepSettings settings = document.TakeSweepSettings();
    settings.startHz = freqHz;
    settings.stopHz = freqHz;
    return settings;
}

}  // namespace

FixedTuneContext::FixedTuneContext(AnalyzerDocument& document, double freqHz)
    : settings(AtOneFrequency(document, freqHz)),
      context{document.engine,
              document.link,
              document.calTable,
              document.GetPrompter(),
              document.GetProgress(),
              document.GetClock(),
              document.stopRequest,
              settings,
              trace,
              outcome,
              [] { return false; },
              [] { return 1; }} {
    document.engine.PrepareSweep(context);
}

}  // namespace tavlin
