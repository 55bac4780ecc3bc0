#include "dsp/pixel_detector.h"

#include <algorithm>
#include <cmath>

namespace tavlin {

const char* DetectorLabel(Detector detector) {
    switch (detector) {
        case Detector::kSample:
            return "SMP";
        case Detector::kAverage:
            return "AVG";
        case Detector::kRms:
            return "RMS";
        case Detector::kPeak:
            break;
    }
    return "PK";
}

void PixelDetector::Add(double power) {
    switch (detector_) {
        case Detector::kPeak:
            value_ = count_ == 0 ? power : std::max(value_, power);
            break;
        case Detector::kSample:
            value_ = power;
            break;
        case Detector::kAverage:
            value_ += std::sqrt(std::max(0.0, power));
            break;
        case Detector::kRms:
            value_ += power;
            break;
    }
    ++count_;
}

double PixelDetector::Power() const {
    if (count_ == 0) {
        return 0.0;
    }
    if (detector_ == Detector::kAverage) {
        const double volts = value_ / count_;
        return volts * volts;
    }
    return detector_ == Detector::kRms ? value_ / count_ : value_;
}

}  // namespace tavlin
