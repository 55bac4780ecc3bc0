#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace tavlin {

// The raw pairs of one capture as the sampler delivered them, with what a
// reader needs to place them in frequency and to turn counts into dBm.
// The pairs are only borrowed: a tap copies what it keeps before returning.
struct IqCapture {
    std::span<const std::int32_t> i;
    std::span<const std::int32_t> q;
    double sampleRateHz = 0.0;  // after decimation, corrected by the timebase
    // The input frequency at 0 Hz of the pairs once oriented (below).
    double centerHz = 0.0;
    // The sampler delivered the spectrum mirrored (clock mode 1): a rising
    // input frequency lowers the pairs' frequency. The tap conjugates them.
    bool mirrored = false;
    // dBm of a carrier at centerHz = 10 log10((I^2 + Q^2) / 32768^2) + scaleDb:
    // the front end's correction and the IF path's at the centre.
    double scaleDb = 0.0;
    // What the IF filter and the decimating filter do across the band, as
    // the correction a carrier at each offset from centerHz needs on top of
    // scaleDb: [offset Hz, dB] points rising, in the pairs' orientation.
    std::vector<std::pair<double, double>> bandCorrectionDb;
    double attenDb = 0.0;
    int gainMode = 1;
    bool preampOn = false;
    double rbwHz = 0.0;
    double referenceCorrection = 1.0;  // the timebase factor the rate includes
    // These pairs follow the previous ones without a gap (the next block of
    // one stream); false for every new capture.
    bool continuesPrevious = false;
};

// Where the sweep kinds hand their raw captures, when something records
// them. Called on the sweep thread; it must return at once.
class IqCaptureTap {
  public:
    virtual ~IqCaptureTap() = default;
    virtual void Offer(const IqCapture& capture) = 0;
};

}  // namespace tavlin
