#pragma once

#include <array>
#include <functional>
#include <limits>
#include <string>

namespace tavlin {

class AnalyzerDocument;

// What the twenty sweeps leave for the plot: trace A of each sweep in screen
// rows (20 dB per division, the reference level at the carrier) and the RBW
// each was taken with. Windows 0 to 3 start at the carrier and reach
// 18.5436 x 16^i Hz above it; window 4 + k runs from 50 kHz x (k + 1) above
// the carrier for 200 kHz. Only the upper sideband is measured.
struct PhaseNoiseSweeps {
    static constexpr int kTraces = 20;
    static constexpr int kNarrowTraces = 4;
    static constexpr int kPoints = 641;
    static constexpr double kFirstSpanHz = 18.5436;
    static constexpr double kWindowStepHz = 50000.0;
    static constexpr double kWindowSpanHz = 200000.0;

    std::array<std::array<double, kPoints>, kTraces> traces{};
    std::array<double, kTraces> rbwHz{};
    // The instrument's own noise in each window, as the row of its mean
    // power on the traces' scale, read with the carrier far outside the IF
    // filter; +infinity where it was not read (the two narrowest windows,
    // where a carrier's own noise stands far above any receiver's).
    std::array<double, kTraces> floorRows = [] {
        std::array<double, kTraces> notRead{};
        notRead.fill(std::numeric_limits<double>::infinity());
        return notRead;
    }();
    double carrierHz = 0.0;
    std::string title;  // "SSB Phase Noise @ %.2f MHz"
};

// Who runs the procedure: the window warns that it takes a while ("CAUTION")
// and asks whether the carrier is centred ("CENTER FREQ"); the console takes
// the centre its commands set as exact and asks nothing.
enum class PhaseNoiseAsker { Window, Console };

// The phase-noise procedure on the calling thread: it holds a
// UtilitySession for its whole run (the warning comes once the sweep is
// paused), centres the carrier, takes the twenty sweeps and hands
// them to `show`, with the instrument's own floor read at the same settings
// 10 MHz from the carrier; every sweep reads noise as noise (the bins of a
// pixel power-averaged). `show` returns when the user is done with the plot. Then
// the analyzer comes back to its span from before around the carrier, with
// its reference level, flat-top windows, 10 dB per division and the sweep
// running again if it ran before.
void RunPhaseNoiseProcedure(AnalyzerDocument& document,
                            const std::function<void(const PhaseNoiseSweeps&)>& show,
                            PhaseNoiseAsker asker = PhaseNoiseAsker::Window);

}  // namespace tavlin
