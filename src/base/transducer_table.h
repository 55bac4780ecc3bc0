#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavlin {

// What a transducer's dB values are: a gain or loss in front of the input
// (a cable, a preamplifier, an attenuator pad), or an antenna's factor in
// dB/m, which turns a level in dBuV into a field strength in dBuV/m.
enum class TransducerKind { kGainOrLoss, kAntennaFactor };

struct TransducerPoint {
    double hz = 0.0;
    double db = 0.0;
};

// The correction at one frequency. Outside the table there is none: the
// factor is 0 dB and `inRange` false, so whoever shows the reading can say
// it is uncorrected rather than extrapolate.
struct TransducerFactor {
    double db = 0.0;
    bool inRange = true;
};

// A table of frequency (Hz) and dB from a CSV file, added to every level at
// the analyzer's input to give the level in front of the transducer: a
// cable's loss as a positive number, a preamplifier's gain as a negative
// one, an antenna factor as is. Read whole or not at all.
//
// The file: one "frequency, dB" pair a line, frequencies strictly rising;
// blank lines and lines starting with "#" are skipped; a header of words
// may come before the first pair, and a line "unit, dB/m" (or "unit, dB",
// the default) anywhere before it names the kind.
class TransducerTable {
  public:
    static constexpr std::size_t kMaxBytes = std::size_t{1} << 20;
    static constexpr std::size_t kMaxPoints = 10000;

    struct Parse;
    static Parse FromText(std::string_view text);
    // The error names the file and, for a bad line, its number.
    static Parse FromFile(const std::filesystem::path& path);

    // Linear in frequency between the two points around `hz`; a point's own
    // value on it.
    TransducerFactor At(double hz) const;
    TransducerKind Kind() const { return kind_; }
    const std::vector<TransducerPoint>& Points() const { return points_; }

  private:
    TransducerTable(std::vector<TransducerPoint> points, TransducerKind kind)
        : points_(std::move(points)), kind_(kind) {}

    std::vector<TransducerPoint> points_;
    TransducerKind kind_ = TransducerKind::kGainOrLoss;
};

struct TransducerTable::Parse {
    std::optional<TransducerTable> table;
    std::string error;
};

}  // namespace tavlin
