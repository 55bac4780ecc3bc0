#include "calibration/cal_bench.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "base/bounded_format.h"
#include "device/device_link.h"
#include "ports/clock.h"
#include "ports/gpib_bus.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr double kPadDb = 3.0;
constexpr std::size_t kMeterAnswerBytes = 200;
constexpr double kLoFloorMhz = 2200.0;  // the synthesizer's lowest oscillator
constexpr double kComparisonMhz = 10.0;
constexpr int kMod = 100;

}  // namespace

std::optional<double> ParseMeterReading(const std::string& answer) {
    std::size_t used = 0;
    const std::optional<double> value = ReadNumberPrefix(answer, used);
    if (!value || !std::isfinite(*value)) {
        return std::nullopt;
    }
    return value;
}

CalBench::CalBench(DeviceLink& link, GpibBus& bus, Prompter& prompter, Clock& clock)
    : link_(link),
      bus_(bus),
      prompter_(prompter),
      clock_(clock),
      first_(kLevelPairs),
      second_(kLevelPairs) {}

CalBench::~CalBench() {
    if (powerMeter_ != 0) {
        bus_.ProcedureRunning(false);
    }
}

void CalBench::OpenInstruments() {
    if (powerMeter_ == 0) {
        powerMeter_ = bus_.OpenDevice(kPowerMeterAddress);
        generator_ = bus_.OpenDevice(kGeneratorAddress);
        auxInstrument_ = bus_.OpenDevice(kAuxAddress);
        bus_.ProcedureRunning(true);
    }
    if (!PowerMeterPresent()) {
        prompter_.Inform("No Power Meter!", "SETUP ERROR");
    }
    if (!GeneratorPresent()) {
        prompter_.Inform("Signal Generator!", "SETUP ERROR");
    }
}

bool CalBench::SetGenerator(double freqMhz, double levelDbm) {
    if (!GeneratorPresent()) {
        return false;
    }
    bool sent = bus_.Write(generator_, FormatText("CW %.1fMZ;", freqMhz));
    clock_.SleepMs(5);
    sent = bus_.Write(generator_, FormatText("PL %.1fDB;", levelDbm + kPadDb)) && sent;
    clock_.SleepMs(extraDelayMs + 150);
    return sent;
}

std::optional<double> CalBench::ReadPowerA() {
    return ReadPower("AP");
}

std::optional<double> CalBench::ReadPowerB() {
    return ReadPower("BP");
}

std::optional<double> CalBench::ReadPower(const char* query) {
    if (!PowerMeterPresent() || !bus_.Write(powerMeter_, query)) {
        return std::nullopt;
    }
    clock_.SleepMs(200);
    const std::optional<std::string> answer = bus_.Read(powerMeter_, kMeterAnswerBytes);
    return answer ? ParseMeterReading(*answer) : std::nullopt;
}

// The sum runs in double: 16384 pairs near full scale overflow any 32-bit
// or 64-bit integer sum of squares long before the end.
std::optional<double> CalBench::MeasureLevel() {
    if (link_.ReadSweepSamples(first_, second_, kLevelPairs) != kLinkOk) {
        return std::nullopt;
    }
    double sum = 0.0;
    for (int n = 0; n < kLevelPairs; ++n) {
        const double i = first_[n];
        const double q = second_[n];
        sum += i * i + q * q;
    }
    if (sum <= 0.0) {
        return std::nullopt;  // a sampler that delivers only zeros gives no level
    }
    return 10.0 * std::log10(sum) - kFullScaleDb;
}

int CalBench::TuneHighBand(double freqMhz) {
    return Tune(freqMhz, true);
}

int CalBench::TuneLowBand(double freqMhz) {
    return Tune(freqMhz, false);
}

// The oscillator runs at 2^k times the LO, at 2200 MHz or above. The high
// band rounds the fraction to the nearest 100 kHz step, the low band
// truncates it.
int CalBench::Tune(double freqMhz, bool highBand) {
    if (!(freqMhz > 0.0 && freqMhz <= kLoFloorMhz * 4)) {
        return kLinkRefused;
    }
    int doublings = 0;
    double f = freqMhz;
    while (f < kLoFloorMhz) {
        f *= 2.0;
        ++doublings;
    }
    const int intPart = static_cast<int>(std::floor(f / kComparisonMhz));
    const double tenths = (f - kComparisonMhz * intPart) * 10.0;
    const double frac = highBand ? std::floor(tenths + 0.5) : std::trunc(tenths);
    return link_.SetSynthesizer(intPart, std::min(static_cast<int>(frac), kMod - 1), kMod,
                                doublings, highBand);
}

// The detector sees the 150 MHz generator (or, with no meter, the self-test
// signal at 140 MHz) from a 160.7 MHz LO. With a meter the result is the
// detector's error against the meter; without one its absolute reading.
std::optional<double> CalBench::MeasureBroadbandPower() {
    link_.PurgeBoth();
    clock_.SleepMs(10);
    link_.SetAttenuator(10);
    link_.SetGainMode(1);
    link_.SetIfPath(0);
    link_.SetDecimation(1);
    link_.SetBandSelect(true);
    const bool meter = PowerMeterPresent();
    if (meter) {
        SetGenerator(150.0, 0.0);
    }
    clock_.SleepMs(500);
    TuneHighBand(160.7);
    double meterDbm = 0.0;
    if (meter) {
        const std::optional<double> reading = ReadPowerA();
        if (!reading) {
            return std::nullopt;
        }
        meterDbm = *reading;
    }
    std::uint16_t values[3] = {};
    const int first = meter ? 156 : 146;
    if (link_.StartDetectorSweep(first, first + 9, values) != kLinkOk) {
        return std::nullopt;
    }
    const std::uint16_t largest = *std::max_element(std::begin(values), std::end(values));
    return largest * kDetectorCountDb - 85.0 + 10.0 - meterDbm;
}

// The sampler at 486111.1111 Hz (clock mode 0, sent first: another mode has
// another rate) sees the signal 5555.555556 Hz from a multiple of its rate;
// 1 Hz off that at 1 GHz is 1 ppb.
std::optional<double> CalBench::MeasureTcxoOffset(bool userSignal) {
    constexpr int kPairs = 65536;
    constexpr double kRateHz = 486111.1111;
    constexpr double kExpectedHz = 5555.555556;
    link_.SendClockMode(0);
    link_.SetAttenuator(10);
    link_.SetGainMode(1);
    link_.SetIfPath(0);
    link_.SetDecimation(1);
    link_.SetBandSelect(true);
    TuneHighBand(989.3);
    if (!userSignal) {
        SetGenerator(1000.0, 0.0);
    }
    std::vector<std::int32_t> first(kPairs);
    std::vector<std::int32_t> second(kPairs);
    if (link_.ReadSweepSamples(first, second, kPairs) != kLinkOk) {
        return std::nullopt;
    }
    double sum = 0.0;
    double previous = std::atan2(second[0], first[0]);
    for (int n = 1; n < kPairs; ++n) {
        const double phase = std::atan2(second[n], first[n]);
        double d = previous - phase;
        if (d > std::numbers::pi) {
            d -= 2.0 * std::numbers::pi;
        } else if (d < -std::numbers::pi) {
            d += 2.0 * std::numbers::pi;
        }
        sum += d / (2.0 * std::numbers::pi) * kRateHz;
        previous = phase;
    }
    return kExpectedHz - sum / (kPairs - 1);
}

}  // namespace tavlin
