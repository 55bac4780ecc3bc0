#include "utilities/console_utilities.h"

#include <cstdio>
#include <ostream>

#include "utilities/harmonics_plot.h"
#include "utilities/measuring_receiver.h"
#include "utilities/utility_session.h"

namespace tavlin {

namespace {

int RunReceiver(AnalyzerDocument& document, int captures, std::ostream& out, std::ostream& err) {
    if (captures < 1) {
        err << "tavlin-cli: --captures must be 1 or more\n";
        return 1;
    }
    const UtilitySession session(document);
    MeasuringReceiver receiver(
        document,
        {[&out](const std::string& text) { out << text << "---\n"
                                               << std::flush; }, nullptr});
    if (!receiver.Run(captures)) {
        err << "tavlin-cli: the measuring receiver received no data\n";
        return 1;
    }
    return 0;
}

// One line per harmonic: n, frequency of its peak and its level. A harmonic
// beyond the receiver's range was not swept and has no level.
int RunHarmonics(AnalyzerDocument& document, std::ostream& out) {
    const UtilitySession session(document);
    for (const HarmonicReading& h : HarmonicsPlot(document).Run()) {
        char line[96];
        if (h.swept) {
            std::snprintf(line, sizeof line, "%d,%.0f,%.2f\n", h.n, h.freqHz, h.levelDbm);
        } else {
            std::snprintf(line, sizeof line, "%d,%.0f,\n", h.n, h.freqHz);
        }
        out << line;
    }
    out << std::flush;
    return 0;
}

}  // namespace

int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err) {
    if (request.name == "receiver") {
        return RunReceiver(document, request.captures, out, err);
    }
    if (request.name == "harmonics") {
        return RunHarmonics(document, out);
    }
    err << "tavlin-cli: no utility named " << request.name << "\n";
    return 1;
}

}  // namespace tavlin
