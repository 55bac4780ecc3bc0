#pragma once

#include <array>
#include <functional>
#include <vector>

#include "base/reading_flag.h"

namespace tavlin {

class AnalyzerDocument;

// One harmonic as the composite shows it: the highest point of its segment.
struct HarmonicReading {
    int n = 1;  // 1 is the fundamental
    double freqHz = 0.0;
    double levelDbm = 0.0;  // with the reference level offset, as the screen reads it
    bool swept = false;     // false when its window lies beyond 4.4 GHz
    // Read off the screen's edge (the level is a bound), or not measured.
    ReadingFlag flag = ReadingFlag::kNone;
};

// The harmonics plot: the fundamental at the present centre and harmonics 2
// to 10, each swept with the present span around its multiple and cut to
// its middle tenth, joined into one trace from 0.5 to 10.5 times the
// fundamental (harmonic n at column 64 n - 32). The caller holds a
// UtilitySession for as long as it runs.
class HarmonicsPlot {
  public:
    static constexpr int kHarmonics = 10;
    static constexpr int kPoints = 641;
    static constexpr double kTopFrequencyHz = 4400000000.0;

    // shown runs after every harmonic's sweep and once the composite is on
    // screen (the views are already told); again decides whether to sweep
    // the ten harmonics once more (may be empty: once).
    HarmonicsPlot(AnalyzerDocument& document, std::function<bool()> again = nullptr);

    // The procedure on the calling thread. The frequencies come back around
    // the fundamental with its span; dB per division stays at 10.
    std::vector<HarmonicReading> Run();

    const std::array<double, kPoints>& Composite() const { return composite_; }

  private:
    std::vector<HarmonicReading> SweepAll(double f0Hz, double spanHz);

    AnalyzerDocument& doc_;
    std::function<bool()> again_;
    std::array<double, kPoints> composite_{};
};

}  // namespace tavlin
