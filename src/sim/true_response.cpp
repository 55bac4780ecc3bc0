#include "sim/true_response.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace tavlin::sim {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kMHz = 1e6;
constexpr double kFirstIfHz = 10.7e6;
constexpr double kSecondIfHz = 2.9e6;
// The middle of each IF filter's measured range: 51 points 5 kHz apart from
// 10.575 MHz and from 2.791 MHz.
constexpr double kFirstIfMiddleHz = 10.7e6;
constexpr double kSecondIfMiddleHz = 2.916e6;

// The self test reads the SELF TEST signal (-15 dBm, 140 MHz) at 10 dB and
// gain state 0 near the middle of its windows when the level correction
// there is about +7 dB through the low-band route and +8 dB through the
// high-band one.
constexpr double kSelfTestFreqHz = 140e6;
constexpr int kSelfTestAttenIndex = 2;
constexpr double kFactoryLowRouteDb = 7.0;
constexpr double kFactoryHighRouteDb = 8.0;

// The level falls with frequency on the high-band route about as the
// program's fixed slope per hertz assumes; the table holds the rest.
constexpr double kPreampUnitTiltDbPerHz = 3.6e-9;
constexpr double kPlainUnitTiltDbPerHz = 2.25e-9;

// Gain-step drift with the RF frequency: half its swing, and its period.
constexpr double kGainStepDriftDb = 0.0125;
constexpr double kGainStepDriftPeriodGhz = 3.1;

// Decimating filter: the droop table's points (dB at |D x offset x 40 /
// 486111.1| = 0 .. 11) and the transition band beyond, down to the stop band.
constexpr double kDroopUnitHz = 486111.1 / 40.0;
constexpr double kStopBandDb = -80.0;

using Nodes = std::vector<SmoothCurve::Node>;

template <typename Shape>
SmoothCurve Sampled(double from, double to, double step, Shape shape) {
    Nodes nodes;
    for (double x = from; x <= to + step / 2.0; x += step) {
        nodes.push_back({x, shape(x)});
    }
    return SmoothCurve(std::move(nodes));
}

SmoothCurve Scaled(const Nodes& nodes, double xScale, double yScale, bool mirrored) {
    Nodes out;
    for (const SmoothCurve::Node& n : nodes) {
        out.push_back({(mirrored ? -n.x : n.x) * xScale, n.y * yScale});
    }
    std::ranges::sort(out, {}, &SmoothCurve::Node::x);
    return SmoothCurve(std::move(out));
}

// The 10.7 MHz filter (offset in kHz): flat in the middle, steep from 80 to
// 150 kHz out, easing towards the pass band's ends; its lower skirt the
// steeper. The 2.9 MHz filter is wider.
const Nodes kFirstIfShape = {
    {-250, -15.0}, {-220, -12.0},   {-200, -9.5}, {-175, -7.3},  {-150, -5.6},   {-137.5, -4.8},
    {-125, -3.95}, {-112.5, -2.95}, {-105, -2.1}, {-100, -1.55}, {-92.5, -1.05}, {-87.5, -0.75},
    {-75, -0.35},  {-50, -0.1},     {-25, -0.01}, {0, 0.0},      {25, -0.03},    {50, -0.12},
    {75, -0.25},   {87.5, -0.5},    {95, -0.8},   {100, -1.05},  {112.5, -1.9},  {125, -3.0},
    {137.5, -4.7}, {150, -5.5},     {175, -7.0},  {200, -9.0},   {220, -11.5},   {250, -14.0}};
const Nodes kSecondIfShape = {{-250, -40.0}, {-225, -14.0}, {-205, -3.5}, {-190, -1.0},
                              {-150, -0.5},  {-100, -0.25}, {-50, -0.07}, {0, 0.0},
                              {50, -0.05},   {100, -0.2},   {150, -0.45}, {190, -0.95},
                              {205, -3.2},   {225, -13.0},  {250, -40.0}};

const SmoothCurve& DecimationCurve() {
    static const SmoothCurve curve(
        {{0, -0.6},   {1, -0.6},        {2, -0.5},   {3, -0.3},   {4, 0.0},    {5, 0.1},
         {6, 0.15},   {7, 0.2},         {8, 0.0},    {9, -0.3},   {10, -0.6},  {11, -0.9},
         {12, -1.2},  {13, -1.6},       {14, -2.1},  {15, -2.8},  {16, -3.6},  {17, -5.0},
         {18, -7.0},  {19, -9.5},       {20, -13.0}, {22, -22.0}, {24, -35.0}, {26, -50.0},
         {28, -65.0}, {30, kStopBandDb}});
    return curve;
}

// What sets one unit apart from another of the same kind.
struct UnitTraits {
    double phase;        // of its ripples
    double rippleScale;  // of its gain ripples
    double lowRouteDb;   // level correction at the self-test point
    double highRouteDb;
    std::array<double, 4> attenuatorDb;
    double lowGainStepDb;
    double highGainStepDb;
    std::array<double, 2> secondIfOffsetDb;
    bool mirroredIf;  // its IF filters lean the other way
    double preampExtraDb;
};

UnitTraits TraitsOf(const Scene& scene, double phase) {
    const bool preamp = scene.PreampFitted();
    if (scene.calibration == SceneCalibration::Blank) {
        // A unit fresh from assembly: its parts are its own.
        return {phase + 2.1,
                1.3,
                kFactoryLowRouteDb + 1.4,
                kFactoryHighRouteDb + 1.1,
                {0.0, 4.8, 10.3, 15.25},
                preamp ? 15.6 : 15.8,
                preamp ? 12.3 : 12.03,
                {10.6, 11.5},
                true,
                0.6};
    }
    // The gain steps of units without a preamplifier are not measured: the
    // reading program takes the kind's nominal 15.83 and 12.0 dB, which a
    // unit misses by a few hundredths.
    return {phase,
            1.0,
            kFactoryLowRouteDb,
            kFactoryHighRouteDb,
            {0.0, 5.35, 10.1, 15.6},
            preamp ? 16.26 : 15.87,
            preamp ? 11.66 : 11.96,
            {11.4, 10.7},
            false,
            0.0};
}

}  // namespace

TrueResponse TrueResponse::Of(const Scene& scene) {
    TrueResponse response = BuiltIn(scene);
    response.ApplyScene(scene.response);
    return response;
}

double TrueResponse::CorrectionDb(double freqHz, const LevelSettings& settings) const {
    const int route = settings.highBand ? 1 : 0;
    const int row = std::clamp(settings.attenIndex, 0, 3);
    const double excessLossDb = attenuatorDb_[row] - 5.0 * row +
                                attenuatorRiseDbPerGhz_ * row * std::max(freqHz, 0.0) / 1e9;
    double c = -gainDb_[route](freqHz) + excessLossDb;
    if (settings.gainState == 0) {
        c += lowGainStepDb_ + GainStepDrift(freqHz);
    } else if (settings.gainState == 2) {
        c -= highGainStepDb_ - GainStepDrift(freqHz);
    }
    if (settings.preampFitted && settings.preampOn) {
        c -= preampDb_[route](freqHz);
    }
    return c;
}

// The gain states switch stages behind the mixers, yet their steps drift a
// little with the RF frequency (the mixers' output match changes with the
// LO): zero at 150 MHz, where the factory measures them, and within
// kGainStepDriftDb elsewhere.
double TrueResponse::GainStepDrift(double freqHz) const {
    const double ghz = std::max(freqHz, 0.0) / 1e9;
    return gainStepDriftDb_ * (std::sin(kTwoPi * ghz / kGainStepDriftPeriodGhz + driftPhase_) -
                               std::sin(kTwoPi * 0.15 / kGainStepDriftPeriodGhz + driftPhase_));
}

double TrueResponse::IfResponseDb(int path, double ifHz) const {
    const int p = path == kSecondIf ? 1 : 0;
    const double nominal = p == 1 ? kSecondIfHz : kFirstIfHz;
    return ifShapeDb_[p](ifHz - nominal) - ifMiddleDb_[p];
}

double TrueResponse::DecimationFilterDb(int decimation, double basebandHz) {
    return DecimationCurve()(std::abs(decimation * basebandHz) / kDroopUnitHz);
}

// A plausible unit: a few dB of ripple over frequency that follows its serial
// number, attenuator steps a few tenths of a dB off their nominal values and
// a loss rising with frequency, IF filters with steep skirts.
TrueResponse TrueResponse::BuiltIn(const Scene& scene) {
    const UnitTraits t = TraitsOf(scene, UnitPhase(scene.serial));
    const double tilt = scene.PreampFitted() ? kPreampUnitTiltDbPerHz : kPlainUnitTiltDbPerHz;
    // The shortest ripples (8 MHz in the low band, 80 MHz in the high band,
    // standing waves between the input and the mixers) change the level by up
    // to half a dB from one table point to the next, yet the table's points
    // follow them within a few hundredths.
    const auto lowRipple = [&t](double hz) {
        const double mhz = std::max(hz, 10 * kMHz) / kMHz;  // flat below 10 MHz
        return t.rippleScale * (0.45 * std::sin(kTwoPi * mhz / 53.0 + t.phase) +
                                0.2 * std::cos(kTwoPi * mhz / 17.0 + 2.0 * t.phase) +
                                0.5 * std::sin(kTwoPi * mhz / 8.0 + 4.0 * t.phase)) -
               0.5 * mhz / 150.0;
    };
    const auto highRipple = [&t, tilt](double hz) {
        const double mhz = hz / kMHz;
        const double u = (mhz - 150.0) / 4250.0;
        return t.rippleScale * (0.9 * std::sin(kTwoPi * mhz / 610.0 + t.phase) +
                                0.35 * std::sin(kTwoPi * mhz / 173.0 + 3.0 * t.phase) +
                                0.6 * std::sin(kTwoPi * mhz / 80.0 + 5.0 * t.phase)) -
               1.2 * u * u + 0.5 * u + tilt * hz;
    };
    TrueResponse r;
    r.attenuatorDb_ = t.attenuatorDb;
    r.attenuatorRiseDbPerGhz_ = 0.04;
    r.lowGainStepDb_ = t.lowGainStepDb;
    r.highGainStepDb_ = t.highGainStepDb;
    r.gainStepDriftDb_ = kGainStepDriftDb;
    r.driftPhase_ = t.phase;
    r.secondIfOffsetDb_ = t.secondIfOffsetDb;
    // The gain level is what puts the self-test point where it belongs.
    const double excessDb = t.attenuatorDb[kSelfTestAttenIndex] - 5.0 * kSelfTestAttenIndex +
                            r.attenuatorRiseDbPerGhz_ * kSelfTestAttenIndex * kSelfTestFreqHz / 1e9;
    const double lowLevel = -t.lowRouteDb + excessDb + t.lowGainStepDb + lowRipple(kSelfTestFreqHz);
    const double highLevel =
        -t.highRouteDb + excessDb + t.lowGainStepDb + highRipple(kSelfTestFreqHz);
    r.gainDb_[0] =
        Sampled(0.0, 250 * kMHz, 0.625 * kMHz, [&](double hz) { return lowLevel - lowRipple(hz); });
    r.gainDb_[1] = Sampled(50 * kMHz, 4600 * kMHz, 6.25 * kMHz,
                           [&](double hz) { return highLevel - highRipple(hz); });
    r.ifShapeDb_[0] = Scaled(kFirstIfShape, 1e3, t.mirroredIf ? 0.9 : 1.0, t.mirroredIf);
    r.ifShapeDb_[1] = Scaled(kSecondIfShape, 1e3, 1.0, t.mirroredIf);

    // The preamplifier's gain falls off below 1 MHz (its coupling), and
    // below 300 kHz its loss grows a little faster than 1 / f.
    Nodes preampLow;
    const auto preampAt = [&t](double mhz) {
        return 18.6 + t.preampExtraDb - 0.4 * mhz / 150.0 +
               0.2 * std::sin(kTwoPi * mhz / 40.0 + t.phase);
    };
    for (const double mhz : {0.01, 0.02, 0.05, 0.1, 0.15, 0.2, 0.25}) {
        preampLow.push_back({mhz * kMHz, preampAt(1.0) - 2.5 * std::pow(0.3 / mhz, 1.3)});
    }
    for (double mhz = 0.3; mhz < 0.999; mhz += 0.05) {
        preampLow.push_back({mhz * kMHz, preampAt(1.0) - 2.5 * std::pow((1.0 - mhz) / 0.7, 1.5)});
    }
    for (double mhz = 1.0; mhz <= 250.0; mhz += 2.5) {
        preampLow.push_back({mhz * kMHz, preampAt(mhz)});
    }
    r.preampDb_[0] = SmoothCurve(std::move(preampLow));
    r.preampDb_[1] = Sampled(50 * kMHz, 4600 * kMHz, 25 * kMHz, [&t](double hz) {
        const double mhz = hz / kMHz;
        return 18.0 + t.preampExtraDb - 5.5 * (mhz - 150.0) / 4250.0 +
               0.4 * std::sin(kTwoPi * mhz / 520.0 + t.phase);
    });
    return r;
}

void TrueResponse::ApplyScene(const SceneResponse& given) {
    if (!given.lowBandGainDb.empty()) {
        gainDb_[0] = CurveOf(given.lowBandGainDb);
    }
    if (!given.highBandGainDb.empty()) {
        gainDb_[1] = CurveOf(given.highBandGainDb);
    }
    if (!given.if10M7Db.empty()) {
        ifShapeDb_[0] = CurveOf(given.if10M7Db);
    }
    if (!given.if2M9Db.empty()) {
        ifShapeDb_[1] = CurveOf(given.if2M9Db);
    }
    if (given.attenuatorDb) {
        attenuatorDb_ = *given.attenuatorDb;
        attenuatorRiseDbPerGhz_ = 0.0;
    }
    if (given.gainStepsDb) {
        lowGainStepDb_ = (*given.gainStepsDb)[0];
        highGainStepDb_ = (*given.gainStepsDb)[1];
        gainStepDriftDb_ = 0.0;
    }
    if (given.secondIfOffsetDb) {
        secondIfOffsetDb_ = *given.secondIfOffsetDb;
    }
    // The filters' responses are taken relative to where the factory
    // measures them from.
    ifMiddleDb_ = {ifShapeDb_[0](kFirstIfMiddleHz - kFirstIfHz),
                   ifShapeDb_[1](kSecondIfMiddleHz - kSecondIfHz)};
}

SmoothCurve TrueResponse::CurveOf(const SceneCurve& points) {
    Nodes nodes;
    for (const auto& [x, y] : points) {
        nodes.push_back({x, y});
    }
    return SmoothCurve(std::move(nodes));
}

// Units differ a little: the ripples' phase follows the serial number.
double TrueResponse::UnitPhase(const std::string& serial) {
    std::uint32_t hash = 2166136261u;
    for (const char c : serial) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    }
    return kTwoPi * static_cast<double>(hash % 1000u) / 1000.0;
}

}  // namespace tavlin::sim
