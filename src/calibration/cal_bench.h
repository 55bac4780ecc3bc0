#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/gpib_bus.h"

namespace tavlin {

class Clock;
class DeviceLink;
class Prompter;

// The bench of a procedure that needs no GPIB instrument (the self test, the
// TCXO recalibration on the user's signal): nothing ever opens.
class NoGpibBus final : public GpibBus {
  public:
    int OpenDevice(int) override { return -1; }
    bool Write(int, std::string_view) override { return false; }
    std::optional<std::string> Read(int, std::size_t) override { return std::nullopt; }
};

// The factory bench as one procedure sees it: the GPIB generator and power
// meter, and quick readings of the unit through its link. Each procedure
// makes its own and drops it at its end.
class CalBench {
  public:
    static constexpr int kPowerMeterAddress = 13;
    static constexpr int kGeneratorAddress = 20;
    static constexpr int kAuxAddress = 19;
    static constexpr int kLevelPairs = 16384;
    // 10 log10(16384 x 32768^2): a full-scale tone in every pair reads 0 dB.
    static constexpr double kFullScaleDb = 132.4532;
    static constexpr double kDetectorCountDb = 0.13427734375;  // 550 / 4096

    CalBench(DeviceLink& link, GpibBus& bus, Prompter& prompter, Clock& clock);
    ~CalBench();
    CalBench(const CalBench&) = delete;
    CalBench& operator=(const CalBench&) = delete;

    // Opens the meter, the generator and the device at 19 once, and says
    // which of the first two is missing ("SETUP ERROR"); the procedure goes
    // on either way and its readings then fail.
    void OpenInstruments();
    // A device whose open failed is as absent as one never opened.
    bool PowerMeterPresent() const { return powerMeter_ > 0; }
    bool GeneratorPresent() const { return generator_ > 0; }

    // CW frequency and level at the far side of the bench's 3 dB pad. False
    // when the generator is missing or a message did not go.
    bool SetGenerator(double freqMhz, double levelDbm);
    // Channel A (the splitter's other arm) and B (CAL OUT) in dBm; nothing
    // when the meter is missing, the read failed or the answer holds no
    // number.
    std::optional<double> ReadPowerA();
    std::optional<double> ReadPowerB();
    // Level at the sampler in dB of full scale from 16384 pairs; nothing when
    // the capture failed or came back empty.
    std::optional<double> MeasureLevel();
    // The LO at freqMhz through the high-band or low-band route (10 MHz
    // comparison, MOD 100); a link result.
    int TuneHighBand(double freqMhz);
    int TuneLowBand(double freqMhz);
    // The broadband detector at 150 MHz in dB, relative to the meter's
    // reading of the generator when a meter is present; nothing when a
    // reading failed.
    std::optional<double> MeasureBroadbandPower();
    // The reference oscillator's error in parts per billion, from the phase
    // slope of a 1000 MHz signal seen 10.7 MHz from a 989.3 MHz LO: the user's
    // signal, or the bench generator's when `userSignal` is false. Nothing
    // when the capture failed.
    std::optional<double> MeasureTcxoOffset(bool userSignal);

    int extraDelayMs = 0;  // settling after every generator level

    // The latest failure that names its instrument and how it failed
    // ("power meter at GPIB 13: no answer"); empty when every instrument has
    // answered (a unit's failed capture is forgotten once a capture works).
    // A re-measurement of the unit cannot mend a meter or generator fault,
    // nor a unit that is gone.
    const std::string& Fault() const { return fault_; }
    bool UnitLost() const;
    // Whether asking the operator to try the unit's reading again can help:
    // not with the meter, the generator or the unit's link at fault.
    bool RetryCanHelp() const { return !benchFault_ && !UnitLost(); }

    // A meter reading beyond these is no reading of this bench.
    static constexpr double kLowestMeterDbm = -100.0;
    static constexpr double kHighestMeterDbm = 30.0;
    // A meter that timed out or answered nonsense is asked again this often.
    static constexpr int kMeterTries = 3;

  private:
    std::optional<double> ReadPower(const char* query);
    std::optional<double> ReadPowerOnce(const char* query, std::string& failure);
    int Tune(double freqMhz, bool highBand);
    void NoteFault(const std::string& fault, bool bench);

    DeviceLink& link_;
    GpibBus& bus_;
    Prompter& prompter_;
    Clock& clock_;
    int powerMeter_ = 0;  // 0 not opened, -1 open failed
    int generator_ = 0;
    int auxInstrument_ = 0;
    std::vector<std::int32_t> first_;
    std::vector<std::int32_t> second_;
    std::string fault_;
    bool benchFault_ = false;
    bool unitGone_ = false;
};

// The leading decimal number of a power meter's answer; nothing when there is
// none or it is not finite.
std::optional<double> ParseMeterReading(const std::string& answer);

}  // namespace tavlin
