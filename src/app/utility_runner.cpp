#include "app/utility_runner.h"

#include <sstream>

#include "document/analyzer_document.h"
#include "utilities/console_utilities.h"

namespace tavlin {

namespace {

static_assert(kScpiHarmonics == HarmonicsPlot::kHarmonics);
static_assert(kScpiPhaseNoisePoints == PhaseNoiseCurve::kColumns);

// A tone that never crossed zero has no audio frequency.
ScpiModulation ModulationOf(const ReceiverReading::Block& block) {
    if (!block.shown) {
        const ScpiReading none{0.0, ReadingFlag::kNotMeasured};
        return {none, none, none, none};
    }
    const ReadingFlag audioFlag = block.audioHz > 0.0 ? block.flag : ReadingFlag::kNotMeasured;
    return {{block.rms, block.flag},
            {block.peakPlus, block.flag},
            {block.peakMinus, block.flag},
            {block.audioHz, audioFlag}};
}

}  // namespace

bool UtilityRunner::Available() const {
    return !doc_.UtilityOwns();
}

std::optional<ScpiReceiverResult> UtilityRunner::RunReceiver(const ScpiReceiverSettings& settings,
                                                             int captures) {
    UtilityRequest request;
    request.name = "receiver";
    request.captures = captures;
    request.ifBandwidthHz = settings.ifBandwidthHz;
    request.audioBandPass = settings.audioBandPass;
    request.showAm = settings.showAm;
    request.showFm = settings.showFm;
    const std::optional<ReceiverReading> reading =
        MeasureWithReceiver(doc_, request, [](const std::string&) {});
    if (!reading) {
        return std::nullopt;
    }
    return ScpiReceiverResult{{reading->counterHz, reading->counterFlag},
                              {reading->relativeDb, ReadingFlag::kNone},
                              {reading->averagedDb, ReadingFlag::kNone},
                              ModulationOf(reading->fm),
                              ModulationOf(reading->am)};
}

std::vector<ScpiPoint> UtilityRunner::RunHarmonics() {
    std::vector<ScpiPoint> points;
    for (const HarmonicReading& h : MeasureHarmonics(doc_)) {
        points.push_back({h.freqHz, {h.levelDbm, h.flag}});
    }
    return points;
}

// A point read at the instrument's own floor is the receiver's noise as much
// as the carrier's.
std::vector<ScpiPoint> UtilityRunner::RunPhaseNoise() {
    std::vector<ScpiPoint> points;
    for (const PhaseNoisePoint& p : MeasurePhaseNoise(doc_)) {
        const ReadingFlag flag = p.atFloor ? ReadingFlag::kBelowNoise : ReadingFlag::kNone;
        points.push_back({p.offsetHz, {p.dbcPerHz, flag}});
    }
    return points;
}

std::string UtilityRunner::RecordAudio(const std::filesystem::path& file, double seconds, bool fm,
                                       const std::atomic<bool>& stop) {
    UtilityRequest request;
    request.name = "listen";
    request.out = file;
    request.seconds = seconds;
    request.fm = fm;
    request.stop = &stop;
    std::ostringstream out;
    std::ostringstream err;
    if (RunUtility(doc_, request, out, err) == 0) {
        return {};
    }
    return err.str().empty() ? "the recording failed" : err.str();
}

}  // namespace tavlin
