// The high-band and low-band adjustments: absolute level, 2.9 MHz path gain,
// gain-state steps, TCXO and flatness.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>

#include "base/bounded_format.h"
#include "calibration/adjustments.h"
#include "calibration/cal_bench.h"
#include "calibration/cal_encoders.h"
#include "calibration/comparison_sets.h"
#include "document/analyzer_document.h"
#include "document/instrument_lease.h"
#include "ports/clock.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

constexpr const char* kFailCaption = "ERROR-FAIL";
// "BOUNDARY ISSUE. TRY AGAIN?" answered Yes measures again, but a script that
// always answers Yes must not measure a broken unit for ever.
constexpr int kMeasurementsPerEntry = 5;

void PutWord(CalTable& table, int offset, std::uint16_t word) {
    auto& bytes = table.Bytes();
    bytes[offset] = static_cast<std::uint8_t>(word & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(word >> 8);
}

struct BandLevels {
    double d = 0.0;           // level through the 10.7 MHz path less the meter's, dB
    std::uint8_t secondIf{};  // IFGAIN2_9 count
};

// The 150 MHz generator through both IF paths at 10 dB, gain state 1: the
// level against the meter and the 2.9 MHz path's gain over the 10.7 MHz one.
// On a unit with a preamplifier the level correction adds the 2.9 MHz gain
// to the absolute level, so the level word leaves it out: the adjusted unit
// then reads what the meter reads.
std::optional<BandLevels> MeasureBandLevels(InstrumentLease& instrument, CalBench& bench,
                                            bool highBand, double dLow, double dHigh,
                                            const char* failure) {
    AnalyzerDocument& document = instrument.Document();
    DeviceLink& link = instrument.Link();
    link.SetAttenuator(10);
    link.SetGainMode(1);
    link.SetIfPath(1);
    link.SetDecimation(1);
    link.SetBandSelect(highBand);
    highBand ? bench.TuneHighBand(147.1) : bench.TuneLowBand(147.1);
    bench.SetGenerator(150.0, -15.0);
    document.GetClock().SleepMs(500);
    const double nan = std::nan("");
    const double pm = bench.ReadPowerA().value_or(nan);
    const double u29 = bench.MeasureLevel().value_or(nan);
    highBand ? bench.TuneHighBand(139.3) : bench.TuneLowBand(139.3);
    link.SetIfPath(0);
    const double u107 = bench.MeasureLevel().value_or(nan);
    const double d = u107 - pm;
    const std::optional<std::uint8_t> secondIf = SecondIfGainByte(u29 - u107);
    const bool preamp = document.Settings().preampAvailable;
    const std::optional<std::uint16_t> clip =
        secondIf ? IfClipWord(d + (preamp ? *secondIf * 0.1 : 0.0)) : std::nullopt;
    if (!(d >= dLow && d <= dHigh) || !clip) {
        document.GetPrompter().Inform(failure, kFailCaption);
        return std::nullopt;
    }
    PutWord(instrument.Table(),
            highBand ? cal_fields::kIfClipHighOffset : cal_fields::kIfClipLowOffset, *clip);
    instrument.Table()
        .Bytes()[highBand ? cal_fields::kIfGain2_9HighOffset : cal_fields::kIfGain2_9LowOffset] =
        *secondIf;
    return BandLevels{d, *secondIf};
}

// One flatness entry: measured until it fits its byte (and, in the low
// band, its comparison window), or the operator gives up.
std::optional<std::uint8_t> FlatnessEntry(InstrumentLease& instrument, CalBench& bench,
                                          double offsetDb, double countsPerDb, int field,
                                          const ComparisonSets* sets) {
    AnalyzerDocument& document = instrument.Document();
    for (int attempt = 0; attempt < kMeasurementsPerEntry; ++attempt) {
        const std::optional<double> u = bench.MeasureLevel();
        const std::optional<std::uint8_t> entry =
            u ? FlatnessByte(*u + offsetDb, countsPerDb) : std::nullopt;
        const bool inWindow = entry && (sets == nullptr || (*entry >= sets->min[field] - 16 &&
                                                            *entry <= sets->max[field] + 16));
        if (inWindow) {
            return entry;
        }
        if (!bench.RetryCanHelp() ||
            !document.GetPrompter().AskYesNo("BOUNDARY ISSUE. TRY AGAIN?", "ERROR")) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// The generator stepped across the band, each point read by the meter and
// by the unit at the four attenuator steps. `tune` puts the LO 10.7 MHz from
// the point; `generatorDb` is the level asked of the generator there.
// The level correction adds a slope of its own across the high band (0.004
// dB/MHz on units with a preamplifier, 0.0025 without), so each entry holds
// what the unit lacks beyond that slope; with the 0.0025 of the plain units
// on every unit, a preamplifier unit read 5 dB high at 3.5 GHz.
template <typename Tune, typename Level>
bool MeasureFlatness(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets,
                     double d, bool highBand, Tune tune, Level generatorDb) {
    AnalyzerDocument& document = instrument.Document();
    const int first = highBand ? 150 : 10;
    const int last = highBand ? 4400 : 150;
    const int step = highBand ? 10 : 1;
    const double countsPerDb = highBand ? 16.0 : 32.0;
    const double slopeDbPerMhz =
        highBand ? (document.Settings().preampAvailable ? 0.004 : 0.0025) : 0.0;
    for (int f = first; f <= last; f += step) {
        tune(f);
        // The meter is read once per frequency: without its reading no
        // entry at this frequency can be right, however often the unit is
        // measured again.
        const std::optional<double> meter =
            bench.SetGenerator(f, generatorDb(f)) ? bench.ReadPowerA() : std::nullopt;
        if (!meter) {
            return false;
        }
        const double p = *meter;
        for (int row = 0; row < 4; ++row) {
            instrument.Link().SetAttenuator(5 * row);
            // v = slope x f + (u - p) - d + a - 10
            const double offsetDb = slopeDbPerMhz * f - p - d + 5 * row - 10;
            const int field = highBand ? cal_fields::kHighBandFlatnessOffset +
                                             row * cal_fields::kHighBandPoints + (f - 150) / 10
                                       : cal_fields::kLowBandFlatnessOffset +
                                             row * cal_fields::kLowBandPoints + f - 1;
            const std::optional<std::uint8_t> entry = FlatnessEntry(
                instrument, bench, offsetDb, countsPerDb, field, highBand ? nullptr : &sets);
            if (!entry) {
                return false;
            }
            instrument.Table().Bytes()[field] = *entry;
        }
    }
    return true;
}

}  // namespace

bool AdjustHighBand(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets) {
    AnalyzerDocument& document = instrument.Document();
    const std::optional<double> bb = bench.MeasureBroadbandPower();
    const double bbDb = bb.value_or(std::nan(""));
    if (!(bbDb >= -6.0 && bbDb <= 6.0)) {
        document.GetPrompter().Inform(FormatText("ERROR. BB power out of range! %.2f dBc", bbDb),
                                      "ERROR");
    }
    const std::optional<std::uint8_t> bbByte = BroadbandPowerByte(bbDb);
    if (!bbByte) {
        return false;  // no reading, or one the field cannot hold
    }
    instrument.Table().Bytes()[cal_fields::kBroadbandPowerOffset] = *bbByte;
    const std::optional<BandLevels> levels = MeasureBandLevels(
        instrument, bench, true, -8.0, 2.0, "Absolute power, high band, out of tolerance");
    if (!levels) {
        return false;
    }
    return MeasureFlatness(
        instrument, bench, sets, levels->d, true, [&](int f) { bench.TuneHighBand(f - 10.7); },
        [](int f) { return f * 0.0025 - 15.0; });
}

bool AdjustLowBand(InstrumentLease& instrument, CalBench& bench, const ComparisonSets& sets) {
    AnalyzerDocument& document = instrument.Document();
    Prompter& prompter = document.GetPrompter();
    const std::optional<double> ppb = bench.MeasureTcxoOffset(false);
    const std::optional<std::uint16_t> tcxo = ppb ? TcxoWord(*ppb) : std::nullopt;
    if (!tcxo) {
        prompter.Inform(FormatText("TCXO offset out of range: %.1f parts per billion",
                                   ppb.value_or(std::nan(""))),
                        kFailCaption);
        return false;
    }
    PutWord(instrument.Table(), cal_fields::kTcxoOffsetOffset, *tcxo);
    const std::optional<BandLevels> levels = MeasureBandLevels(
        instrument, bench, false, -8.0, 8.0, "Absolute power, Low band, out of tolerance");
    if (!levels) {
        return false;
    }
    // The gain states' steps from the 10.7 MHz level in gain state 1.
    const double nan = std::nan("");
    const double u1 = bench.MeasureLevel().value_or(nan);
    instrument.Link().SetGainMode(2);
    const double u2 = bench.MeasureLevel().value_or(nan);
    instrument.Link().SetGainMode(0);
    const double u0 = bench.MeasureLevel().value_or(nan);
    instrument.Link().SetGainMode(1);
    const std::optional<std::uint16_t> lowStep = LowGainStepWord(u1 - u0);
    const std::optional<std::uint16_t> highStep = HighGainStepWord(u2 - u1);
    if (!lowStep || !highStep) {
        prompter.Inform("Absolute power, Low band, out of tolerance", kFailCaption);
        return false;
    }
    PutWord(instrument.Table(), cal_fields::kLowGainStepOffset, *lowStep);
    PutWord(instrument.Table(), cal_fields::kHighGainStepOffset, *highStep);
    const bool measured = MeasureFlatness(
        instrument, bench, sets, levels->d, false,
        [&](int f) { bench.TuneLowBand(f < 26 ? f + 10.7 : f - 10.7); }, [](int) { return -15.0; });
    if (!measured) {
        return false;
    }
    // 1 to 9 MHz lie below the generator's range: they take the 10 MHz entry.
    auto& bytes = instrument.Table().Bytes();
    for (int row = 0; row < 4; ++row) {
        const int base = cal_fields::kLowBandFlatnessOffset + row * cal_fields::kLowBandPoints;
        std::fill_n(bytes.begin() + base, 9, bytes[base + 9]);
    }
    return true;
}

}  // namespace tavlin
