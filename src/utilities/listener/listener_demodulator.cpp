#include "utilities/listener/listener_demodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tavlin {

namespace {

// The base of the exponentials as the instrument's listener has always used it.
constexpr double kE = 2.71828;
constexpr double kAverageSeconds = 0.1;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kNoCarrier = 1e-6;

constexpr double kB0 = 0.03224554;
constexpr double kB1 = 0.1289821;
constexpr double kB2 = 0.1934732;
constexpr double kA1 = 1.265912;
constexpr double kA2 = -1.203878;
constexpr double kA3 = 0.5405908;
constexpr double kA4 = -0.1185538;

}  // namespace

double ListenerDemodulator::ChannelFilter::Step(double in) {
    const double out = kB0 * in + kB1 * x[0] + kB2 * x[1] + kB1 * x[2] + kB0 * x[3] + kA1 * y[0] +
                       kA2 * y[1] + kA3 * y[2] + kA4 * y[3];
    x = {in, x[0], x[1], x[2]};
    y = {out, y[0], y[1], y[2]};
    return out;
}

// Time constants count in pairs of the rate actually processed: the narrow
// IF runs at a quarter of the wide one's rate, and each clock mode has its own.
void ListenerDemodulator::Start(const ListenerTuning& tuning) {
    tuning_ = tuning;
    filterI_ = {};
    filterQ_ = {};
    out_ = 0.0;
    const double rate = tuning.processingRateHz > 0.0 ? tuning.processingRateHz : 1.0;
    const double tau = tuning.deemphasisUs * 1e-6 * rate;
    deemphasis_ = tau > 0.0 ? std::pow(kE, -1.0 / tau) : 0.0;
    alpha_ = std::pow(kE, -1.0 / (kAverageSeconds * rate));
    // The LO's residual error turns the phase by the same step every pair;
    // on a mirrored spectrum it turns the other way.
    loStep_ = tuning.loErrorHz * kTwoPi / rate;
    if (tuning.mirrored) {
        loStep_ = -loStep_;
    }
}

// The deviation of the level from its 0.1 s average, 16384 at 100 %. With no
// carrier the average falls towards 0 (a millionth of a count is none): that
// is silence, not a division by zero or a full-scale offset.
double ListenerDemodulator::Am(double x, double y) {
    const double r = std::sqrt(x * x + y * y);
    average_ = average_ * alpha_ + (1.0 - alpha_) * r;
    if (!std::isfinite(average_)) {
        average_ = 0.0;
    }
    if (!(average_ > kNoCarrier)) {
        return 0.0;
    }
    return (r - average_) * kAmScale / average_;
}

double ListenerDemodulator::Fm(double x, double y) {
    const double phase = std::atan2(y, x);
    double step = previousPhase_ - phase + loStep_;
    if (step > std::numbers::pi) {
        step -= kTwoPi;
    } else if (step < -std::numbers::pi) {
        step += kTwoPi;
    }
    previousPhase_ = phase;
    return (tuning_.mirrored ? -step : step) * kFmScale;
}

double ListenerDemodulator::Process(double i, double q, bool fm) {
    const double x = filterI_.Step(i);
    const double y = filterQ_.Step(q);
    const double s = fm ? Fm(x, y) : Am(x, y);
    out_ = std::clamp((1.0 - deemphasis_) * s + deemphasis_ * out_, -kClip, kClip);
    return out_;
}

std::size_t ListenerDemodulator::ProcessFetch(std::span<const std::int32_t> i,
                                              std::span<const std::int32_t> q, bool fm,
                                              std::span<std::int16_t> out) {
    const std::size_t pairs = std::min(i.size(), q.size());
    const std::size_t keepEvery = tuning_.wideIf ? 4 : 1;
    std::size_t stored = 0;
    for (std::size_t n = 0; n < pairs; ++n) {
        const double value = Process(i[n], q[n], fm);
        if (n % keepEvery == keepEvery - 1 && stored < out.size()) {
            out[stored++] = static_cast<std::int16_t>(value);  // truncated toward zero
        }
    }
    return stored;
}

}  // namespace tavlin
