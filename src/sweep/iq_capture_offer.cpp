#include "sweep/iq_capture_offer.h"

#include <cmath>

#include "sweep/amplitude_correction.h"
#include "sweep/if_path_response.h"
#include "sweep/iq_capture_tap.h"

namespace tavlin {

namespace {

constexpr int kBandSteps = 16;

// The IF path's correction at each offset across the pairs' band against
// its value at the centre. Once oriented, an offset d lies at the IF
// ifInUse - error - d on either clock mode: the mirrored sampler's pairs are
// conjugated on the way to the file.
std::vector<std::pair<double, double>> BandCorrection(const SweepContext& context, double rateHz,
                                                      int decimation) {
    const SweepPlan& plan = context.plan;
    const double centreIf = plan.ifInUse - plan.lo1ErrorHz;
    const double atCentre =
        IfPathPowerFactor(context.cal, false, decimation, plan.ifInUse, centreIf);
    std::vector<std::pair<double, double>> points;
    for (int step = 0; step <= kBandSteps; ++step) {
        const double offsetHz = rateHz * (static_cast<double>(step) / kBandSteps - 0.5);
        const double factor =
            IfPathPowerFactor(context.cal, false, decimation, plan.ifInUse, centreIf - offsetHz);
        points.emplace_back(offsetHz, 10.0 * std::log10(factor / atCentre));
    }
    return points;
}

}  // namespace

// The pairs hold the tuned frequency where the LO's residual error put it,
// -error from 0 Hz once oriented; their scale is the correction a spectrum
// kind gives the bin of a carrier at the tuned frequency.
void OfferTunedCapture(const SweepContext& context, const std::int32_t* i, const std::int32_t* q,
                       int pairs, double tunedHz, int decimation, bool continuesPrevious) {
    if (context.iqTap == nullptr || pairs <= 0) {
        return;
    }
    const SweepSettings& s = context.settings;
    const SweepPlan& plan = context.plan;
    const double frontEndDb = AmplitudeCorrection(
        context.cal, LevelSettings{s.attenDb, s.gainMode, s.preampAvailable, s.preampOn}, tunedHz);
    const double ifPath =
        TunedIfPathPowerFactor(context.cal, decimation, plan.ifInUse, plan.lo1ErrorHz);
    IqCapture capture;
    const auto count = static_cast<std::size_t>(pairs);
    capture.i = {i, count};
    capture.q = {q, count};
    capture.sampleRateHz = plan.receiver.sampleRateHz / decimation;
    capture.centerHz = tunedHz - plan.lo1ErrorHz;
    capture.mirrored = plan.clockMode == 1;
    capture.scaleDb = frontEndDb + s.attenDb + 10.0 * std::log10(ifPath);
    capture.bandCorrectionDb = BandCorrection(context, capture.sampleRateHz, decimation);
    capture.attenDb = s.attenDb;
    capture.gainMode = s.gainMode;
    capture.preampOn = s.preampAvailable && s.preampOn;
    capture.rbwHz = context.outcome.rbwHz;
    capture.referenceCorrection = s.timebaseCorrection;
    capture.continuesPrevious = continuesPrevious;
    context.iqTap->Offer(capture);
}

}  // namespace tavlin
