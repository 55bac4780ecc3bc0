#include "base/transducer_table.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

#include "base/atomic_file.h"
#include "base/bounded_format.h"
#include "base/csv_lines.h"

namespace tavlin {

namespace {

// Far beyond any band the unit tunes and any correction a transducer makes.
constexpr double kMaxHz = 1e12;
constexpr double kMaxDb = 200.0;

std::string Lowered(std::string_view s) {
    std::string out(s);
    std::ranges::transform(out, out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// Comma, semicolon or tab between the two fields, as spreadsheets save them.
std::optional<std::pair<std::string_view, std::string_view>> Fields(std::string_view line) {
    const auto cut = line.find_first_of(",;\t");
    if (cut == std::string_view::npos ||
        line.find_first_of(",;\t", cut + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    return std::pair{CsvLines::Trimmed(line.substr(0, cut)),
                     CsvLines::Trimmed(line.substr(cut + 1))};
}

bool IsWord(std::string_view field) {
    return !field.empty() && std::isalpha(static_cast<unsigned char>(field.front())) != 0;
}

struct LineReader {
    std::vector<TransducerPoint> points;
    TransducerKind kind = TransducerKind::kGainOrLoss;
    bool headerAllowed = true;

    // Empty when the line is taken, else why not.
    std::string Take(std::string_view line) {
        const auto fields = Fields(line);
        if (!fields) {
            return "expected \"frequency Hz, dB\"";
        }
        const auto [first, second] = *fields;
        if (Lowered(first) == "unit") {
            return TakeUnit(second);
        }
        if (IsWord(first) && headerAllowed) {
            headerAllowed = false;  // one header line, before the first pair
            return {};
        }
        return TakePoint(first, second);
    }

    std::string TakeUnit(std::string_view word) {
        const std::string unit = Lowered(word);
        if (!points.empty() || (unit != "db" && unit != "db/m")) {
            return "a \"unit\" line names dB or dB/m, before the first pair";
        }
        kind = unit == "db/m" ? TransducerKind::kAntennaFactor : TransducerKind::kGainOrLoss;
        return {};
    }

    std::string TakePoint(std::string_view first, std::string_view second) {
        const std::optional<double> hz = ReadFiniteNumber(first);
        const std::optional<double> db = ReadFiniteNumber(second);
        if (!hz || *hz < 0.0 || *hz > kMaxHz) {
            return "the frequency is not a number of Hz from 0 to 1e12";
        }
        if (!db || std::abs(*db) > kMaxDb) {
            return "the value is not a number of dB from -200 to 200";
        }
        if (!points.empty() && *hz <= points.back().hz) {
            return "the frequency does not rise above the line before it";
        }
        if (points.size() >= TransducerTable::kMaxPoints) {
            return "more than 10000 points";
        }
        points.push_back({*hz, *db});
        headerAllowed = false;
        return {};
    }
};

}  // namespace

TransducerTable::Parse TransducerTable::FromText(std::string_view text) {
    Parse result;
    if (text.size() > kMaxBytes) {
        result.error = "the file is larger than 1 MiB";
        return result;
    }
    LineReader reader;
    CsvLines lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        if (std::string problem = reader.Take(line); !problem.empty()) {
            result.error = "line " + std::to_string(lines.LineNumber()) + ": " + problem;
            return result;
        }
    }
    if (reader.points.empty()) {
        result.error = "the file holds no points";
        return result;
    }
    result.table = TransducerTable(std::move(reader.points), reader.kind);
    return result;
}

TransducerTable::Parse TransducerTable::FromFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes;
    Parse result;
    if (!ReadWholeFile(path, kMaxBytes, bytes, result.error)) {
        return result;
    }
    result = FromText({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    if (!result.table) {
        result.error = path.filename().string() + ": " + result.error;
    }
    return result;
}

TransducerFactor TransducerTable::At(double hz) const {
    if (!(hz >= points_.front().hz && hz <= points_.back().hz)) {
        return {0.0, false};
    }
    const auto above = std::ranges::lower_bound(points_, hz, {}, &TransducerPoint::hz);
    if (above->hz == hz) {
        return {above->db, true};
    }
    const TransducerPoint& below = *(above - 1);
    const double t = (hz - below.hz) / (above->hz - below.hz);
    return {below.db + t * (above->db - below.db), true};
}

}  // namespace tavlin
