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

// Every descriptor the procedure opened goes back to the bus.
CalBench::~CalBench() {
    if (powerMeter_ != 0) {
        bus_.ProcedureRunning(false);
    }
    for (const int device : {powerMeter_, generator_, auxInstrument_}) {
        if (device > 0) {
            bus_.CloseDevice(device);
        }
    }
}

// A bus that cannot open anything says why once, before the instruments it
// then cannot find: a missing library is mended by installing it, a silent
// instrument by its cable or address.
void CalBench::OpenInstruments() {
    if (powerMeter_ == 0) {
        if (const std::string why = bus_.Unavailable(); !why.empty()) {
            prompter_.Inform("GPIB: " + why, "SETUP ERROR");
        }
        powerMeter_ = bus_.OpenDevice(kPowerMeterAddress);
        generator_ = bus_.OpenDevice(kGeneratorAddress);
        auxInstrument_ = bus_.OpenDevice(kAuxAddress);
        bus_.ProcedureRunning(true);
    }
    if (!PowerMeterPresent()) {
        NoteFault("power meter at GPIB 13: not found", true);
        prompter_.Inform("No Power Meter!", "SETUP ERROR");
    }
    if (!GeneratorPresent()) {
        NoteFault("signal generator at GPIB 20: not found", true);
        prompter_.Inform("Signal Generator!", "SETUP ERROR");
    }
}

bool CalBench::UnitLost() const {
    return unitGone_ || link_.InstrumentLost();
}

void CalBench::NoteFault(const std::string& fault, bool bench) {
    fault_ = fault;
    benchFault_ = benchFault_ || bench;
}

bool CalBench::SetGenerator(double freqMhz, double levelDbm) {
    if (!GeneratorPresent()) {
        NoteFault("signal generator at GPIB 20: not found", true);
        return false;
    }
    bool sent = bus_.Write(generator_, FormatText("CW %.1fMZ;", freqMhz));
    clock_.SleepMs(5);
    sent = bus_.Write(generator_, FormatText("PL %.1fDB;", levelDbm + kPadDb)) && sent;
    clock_.SleepMs(extraDelayMs + 150);
    if (!sent) {
        NoteFault("signal generator at GPIB 20: a command did not go", true);
    }
    return sent;
}

std::optional<double> CalBench::ReadPowerA() {
    return ReadPower("AP");
}

std::optional<double> CalBench::ReadPowerB() {
    return ReadPower("BP");
}

// A time-out or a garbled answer may pass, so the meter is asked again; a
// reading out of the bench's range (an overload, a sensor off its arm) will
// not, and is not.
std::optional<double> CalBench::ReadPower(const char* query) {
    if (!PowerMeterPresent()) {
        NoteFault("power meter at GPIB 13: not found", true);
        return std::nullopt;
    }
    std::string failure;
    for (int attempt = 0; attempt < kMeterTries; ++attempt) {
        const std::optional<double> reading = ReadPowerOnce(query, failure);
        if (reading && *reading >= kLowestMeterDbm && *reading <= kHighestMeterDbm) {
            return reading;
        }
        if (reading) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "power meter at GPIB 13: reading %.2f dBm out of range", *reading);
            NoteFault(text, true);
            return std::nullopt;
        }
    }
    NoteFault("power meter at GPIB 13: " + failure, true);
    return std::nullopt;
}

std::optional<double> CalBench::ReadPowerOnce(const char* query, std::string& failure) {
    if (!bus_.Write(powerMeter_, query)) {
        failure = "the query did not go";
        return std::nullopt;
    }
    clock_.SleepMs(200);
    const std::optional<std::string> answer = bus_.Read(powerMeter_, kMeterAnswerBytes);
    if (!answer) {
        failure = "no answer";
        return std::nullopt;
    }
    const std::optional<double> reading = ParseMeterReading(*answer);
    if (!reading) {
        std::string shown = answer->substr(0, 24);
        std::erase_if(shown, [](char c) { return c == '\r' || c == '\n'; });
        failure = "answered \"" + shown + "\", not a reading";
    }
    return reading;
}

// The sum runs in double: 16384 pairs near full scale overflow any 32-bit
// or 64-bit integer sum of squares long before the end.
std::optional<double> CalBench::MeasureLevel() {
    const int result = link_.ReadSweepSamples(first_, second_, kLevelPairs);
    if (result != kLinkOk) {
        // The link is put back in step for a retry; when even that fails
        // (a refused write: the converter gone from the bus) measuring again
        // cannot mend it.
        unitGone_ = unitGone_ || result == kLinkWriteFailed || link_.commError.load() ||
                    !link_.Resynchronise();
        NoteFault(UnitLost() ? "the Tavlin: no longer answers on USB (cable pulled?)"
                             : "the Tavlin: a capture brought no samples",
                  false);
        return std::nullopt;
    }
    double sum = 0.0;
    for (int n = 0; n < kLevelPairs; ++n) {
        const double i = first_[n];
        const double q = second_[n];
        sum += i * i + q * q;
    }
    if (sum <= 0.0) {
        NoteFault("the Tavlin: the sampler delivered only zeros", false);
        return std::nullopt;
    }
    if (!benchFault_) {
        fault_.clear();  // the unit's earlier failure has passed
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
