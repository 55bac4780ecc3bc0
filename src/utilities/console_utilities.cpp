#include "utilities/console_utilities.h"

#include <ostream>

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

}  // namespace

int RunUtility(AnalyzerDocument& document, const UtilityRequest& request, std::ostream& out,
               std::ostream& err) {
    if (request.name == "receiver") {
        return RunReceiver(document, request.captures, out, err);
    }
    err << "tavlin-cli: no utility named " << request.name << "\n";
    return 1;
}

}  // namespace tavlin
