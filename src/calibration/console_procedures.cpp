#include "calibration/console_procedures.h"

#include <algorithm>
#include <ostream>

#include "calibration/adjustments.h"
#include "calibration/cal_maintenance.h"
#include "calibration/cal_report.h"
#include "calibration/flatness_view.h"
#include "calibration/self_test.h"
#include "document/analyzer_document.h"
#include "ports/log.h"

namespace tavlin {

bool IsProcedureName(const std::string& name) {
    return std::ranges::find(kProcedureNames, name) != std::end(kProcedureNames);
}

int RunProcedure(AnalyzerDocument& document, GpibBus& bus, const std::string& name,
                 const ProcedureSetup& setup, std::ostream& out, std::ostream& err) {
    const std::filesystem::path& workFolder = setup.workFolder;
    bool passed = false;
    if (name == "self-test") {
        const SelfTestResult result = RunSelfTest(document);
        passed = result.ran && result.passed;
    } else if (name == "cal-report") {
        passed = ConfirmCalReport(document.GetPrompter()) &&
                 RunCalReport(document, bus, workFolder / "caldata.txt").passed;
    } else if (name == "adjust-all") {
        passed = AdjustAll(document, bus, workFolder, nullptr, setup.extraDelayMs);
    } else if (name == "adjust-phase-noise") {
        passed = RunPhaseNoiseOnly(document);
    } else if (name == "adjust-high-band") {
        passed = RunAdjustment(document, bus, Adjustment::HighBand, workFolder);
    } else if (name == "adjust-low-band") {
        passed = RunAdjustment(document, bus, Adjustment::LowBand, workFolder);
    } else if (name == "adjust-if") {
        passed = RunAdjustment(document, bus, Adjustment::IfResponse, workFolder);
    } else if (name == "purge-cal") {
        passed = PurgeCalData(document);
    } else if (name == "store-cal") {
        passed = StoreCalData(document);
    } else if (name == "recal-tcxo") {
        passed = RecalibrateTcxo(document);
    } else if (name == "view-flatness") {
        ViewFlatnessCorrections(document, workFolder, &out);
        passed = true;
    } else {
        err << "tavlin-cli: no procedure named " << name << "\n";
    }
    if (!passed) {
        LogWarning("calibration", "procedure " + name + " did not pass");
    }
    return passed ? 0 : 1;
}

}  // namespace tavlin
