#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tavlin {

// How the stream in hand was tuned, for the coefficients of a run.
struct ListenerTuning {
    bool wideIf = true;                     // 120 kHz IF (decimation 2), else 30 kHz (8)
    double deemphasisUs = 125.0;            // 0 or less: no de-emphasis
    double processingRateHz = 243055.5556;  // I/Q pairs per second after decimation
    double loErrorHz = 0.0;                 // LO1's residual error, as the plan left it
    bool mirrored = false;                  // clock mode 1 delivers the spectrum mirrored
};

// The listener's signal path, one I/Q pair at a time: the channel filter on
// I and on Q, the AM envelope or the FM discriminator, de-emphasis and
// clipping to the 16-bit audio range. No thread, no lock.
class ListenerDemodulator {
  public:
    static constexpr double kClip = 32760.0;
    // Hz of deviation per radian of phase step at 243055.6 pairs per second;
    // the narrow IF runs at a quarter of that rate and so sounds 4x louder.
    static constexpr double kFmScale = 38683.49310377151;
    static constexpr double kAmScale = 16384.0;

    // A new run: clears the filters and the de-emphasis, computes the
    // coefficients. The AM average and the last FM phase carry over.
    void Start(const ListenerTuning& tuning);

    // One demodulated, de-emphasised and clipped value.
    double Process(double i, double q, bool fm);

    // Processes every pair of a fetch and stores the values that go to the
    // sound: all of them on the narrow IF, every fourth (n mod 4 = 3) on the
    // wide IF, where the rate is four times the audio rate. Returns how many
    // were stored; `out` holds at least that many.
    std::size_t ProcessFetch(std::span<const std::int32_t> i, std::span<const std::int32_t> q,
                             bool fm, std::span<std::int16_t> out);

    double DeemphasisCoefficient() const { return deemphasis_; }
    double AverageCoefficient() const { return alpha_; }

  private:
    // y[n] = b0 x[n] + ... + b4 x[n-4] + a1 y[n-1] + ... + a4 y[n-4]
    struct ChannelFilter {
        std::array<double, 4> x{};
        std::array<double, 4> y{};
        double Step(double in);
    };

    double Am(double x, double y);
    double Fm(double x, double y);

    ListenerTuning tuning_;
    ChannelFilter filterI_;
    ChannelFilter filterQ_;
    double deemphasis_ = 0.0;
    double alpha_ = 0.0;
    double loStep_ = 0.0;
    double out_ = 0.0;
    double average_ = 1000.0;
    double previousPhase_ = 0.0;
};

}  // namespace tavlin
