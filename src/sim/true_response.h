#pragma once

#include <array>

#include "sim/level_settings.h"
#include "sim/scene.h"
#include "sim/smooth_curve.h"

namespace tavlin::sim {

// The virtual unit's own physical response: smooth curves of its gain
// against frequency on each band route, of its two IF filters and of its
// preamplifier, the true losses of its attenuator settings and the true
// steps of its gain states, which drift a little with frequency. It is not a calibration table: the
// factory table of a unit is a measurement of it (FactoryCalImage), so a program applying that
// table reads levels within the table's sampling and quantisation, not exactly.
class TrueResponse {
  public:
    static constexpr int kFirstIf = 0;   // 10.7 MHz path
    static constexpr int kSecondIf = 1;  // 2.9 MHz path

    // The response of a scene's unit: the built-in one of a factory unit or
    // of a blank unit, each part replaced by the scene's where it gives one.
    static TrueResponse Of(const Scene& scene);

    // c in dB such that a carrier of L dBm at RF IN reaches the sampler
    // through the 10.7 MHz path, at the middle of its filter, with
    // 10^((L - nominal attenuation - c) / 10) of full scale.
    double CorrectionDb(double freqHz, const LevelSettings& settings) const;
    // The 2.9 MHz path's level above the 10.7 MHz path's, each at the middle
    // of its filter's measured range (10.7 MHz and 2.916 MHz).
    double SecondIfOffsetDb(bool highRoute) const { return secondIfOffsetDb_[highRoute ? 1 : 0]; }
    // The IF filter's response at ifHz relative to that middle.
    double IfResponseDb(int path, double ifHz) const;
    // The sampler's decimating filter: a smooth curve through the droop
    // points the program corrects by, then a transition band down to its stop
    // band, which a tone beyond half the output rate passes attenuated (and
    // aliased) rather than not at all.
    static double DecimationFilterDb(int decimation, double basebandHz);

  private:
    static TrueResponse BuiltIn(const Scene& scene);
    void ApplyScene(const SceneResponse& given);
    static SmoothCurve CurveOf(const SceneCurve& points);
    static double UnitPhase(const std::string& serial);
    double GainStepDrift(double freqHz) const;

    std::array<SmoothCurve, 2> gainDb_;  // low route, high route
    std::array<SmoothCurve, 2> ifShapeDb_;
    std::array<double, 2> ifMiddleDb_{};  // each shape at the middle of its measured range
    std::array<SmoothCurve, 2> preampDb_;
    std::array<double, 4> attenuatorDb_{};
    double attenuatorRiseDbPerGhz_ = 0.0;  // per 5 dB step
    double lowGainStepDb_ = 0.0;
    double highGainStepDb_ = 0.0;
    double gainStepDriftDb_ = 0.0;  // the steps' drift with frequency, half its swing
    double driftPhase_ = 0.0;
    std::array<double, 2> secondIfOffsetDb_{};
};

}  // namespace tavlin::sim
