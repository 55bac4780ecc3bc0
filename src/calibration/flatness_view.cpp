#include "calibration/flatness_view.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "calibration/comparison_sets.h"
#include "calibration/procedure_hold.h"
#include "device/cal_table.h"
#include "document/analyzer_document.h"
#include "ports/clock.h"
#include "ports/prompter.h"

namespace tavlin {

namespace {

using Set = std::array<std::uint8_t, ComparisonSets::kBytes>;
using Rows = std::array<std::int32_t, kTracePoints>;

constexpr int kCentreRow = 250;
constexpr double kRowsPerDb = 50.0;  // at 1 dB per division
constexpr double kLowBandTopHz = 160000000.0;
constexpr double kHighBandStartHz = 150000000.0;
constexpr double kHighBandStopHz = 4400000000.0;
constexpr int kLowBandColumns = 4;
constexpr int kIfColumns = 12;
constexpr int kIfEntries = 51;
constexpr const char* kPageCaption = "PRESS OK TO CONTINUE";

// A row as the screen takes it: a log of 0 or a wild byte stays just off the
// graticule instead of becoming an unbounded integer.
std::int32_t ScreenRow(double row) {
    return static_cast<std::int32_t>(std::clamp(row, -5.0, 505.0));
}

// A comparison set from the folder; false (the set zero) when it cannot be
// read whole.
bool ReadSet(const std::filesystem::path& path, Set& set) {
    std::vector<std::uint8_t> content;
    std::string error;
    if (!ReadWholeFile(path, 4096, content, error) || content.size() < set.size()) {
        return false;
    }
    std::copy_n(content.begin(), set.size(), set.begin());
    return true;
}

struct Page {
    Rows trace{};
    Rows lower{};
    Rows upper{};
};

// One entry of a page in the table's own counts, for the text pages.
struct Entry {
    int current = 0;
    int min = 0;
    int max = 0;
};

std::string Line(const char* name, int current, int min, int max) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %d %d %d\r\n", name, current, min, max);
    return text;
}

std::uint16_t WordAt(const Set& set, int offset) {
    return static_cast<std::uint16_t>(set[offset] | set[offset + 1] << 8);
}

class FlatnessPages {
  public:
    // Columns a page leaves alone keep what the screen had.
    FlatnessPages(InstrumentLease& instrument, const Set& min, const Set& max, bool limits,
                  std::ostream* text)
        : doc_(instrument.Document()),
          table_(instrument.Table()),
          min_(min),
          max_(max),
          limits_(limits),
          text_(text) {
        page_.trace.fill(kCentreRow);
        doc_.ReadTrace([this](const ScreenState& s) {
            page_.lower = s.display.lowerLimitRows;
            page_.upper = s.display.upperLimitRows;
            return 0;
        });
    }

    void ShowFieldComparison() {
        doc_.EditTrace([this](ScreenState& s) { s.trace.traceAInt = page_.trace; });
        doc_.RequestRepaint();
        const CalTable& t = table_;
        using namespace cal_fields;
        const std::string fields =
            Line("IFClipHB150", t.IfClip(true), WordAt(min_, kIfClipHighOffset),
                 WordAt(max_, kIfClipHighOffset)) +
            Line("IFClipLB150", t.IfClip(false), WordAt(min_, kIfClipLowOffset),
                 WordAt(max_, kIfClipLowOffset)) +
            Line("IFGAIN2_9B0", t.IfGain2_9(false), min_[kIfGain2_9LowOffset],
                 max_[kIfGain2_9LowOffset]) +
            Line("IFGAIN2_9B1", t.IfGain2_9(true), min_[kIfGain2_9HighOffset],
                 max_[kIfGain2_9HighOffset]);
        if (text_ != nullptr) {
            *text_ << "COMPARE CAL SETS (field current min max)\n"
                   << WithoutCarriageReturns(fields);
        }
        doc_.GetPrompter().Inform(fields, "COMPARE CAL SETS");
    }

    // A low-band count is 1/32 dB; each of the 150 entries takes 4 columns
    // and columns 600 to 640 keep what they had.
    void LowBand(int row) {
        using namespace cal_fields;
        for (int i = 0; i < kLowBandPoints; ++i) {
            const int offset = kLowBandFlatnessOffset + row * kLowBandPoints + i;
            const int current = table_.LowBandFlatness(row, i);
            entries_.push_back({current, min_[offset], max_[offset]});
            for (int c = kLowBandColumns * i; c < kLowBandColumns * (i + 1); ++c) {
                Put(c, current, min_[offset], max_[offset], 32.0);
            }
        }
        Show("Low Band", row);
    }

    // A high-band count is 1/16 dB; entry i lands in column
    // floor(i x 640 / 426 + 0.5) and the one after it.
    void HighBand(int row) {
        using namespace cal_fields;
        for (int i = 0; i < kHighBandPoints; ++i) {
            const int offset = kHighBandFlatnessOffset + row * kHighBandPoints + i;
            const int current = table_.HighBandFlatness(row, i);
            entries_.push_back({current, min_[offset], max_[offset]});
            const int c = static_cast<int>(std::floor(i * 640.0 / kHighBandPoints + 0.5));
            for (int column : {c, c + 1}) {
                Put(column, current, min_[offset], max_[offset], 16.0);
            }
        }
        Show("High Band", row);
    }

    // The IF responses in percent of the centre's power, drawn in dB; the
    // limit lines lie 16 rows outside the factory's extremes.
    void IfResponse(bool tenPointSeven) {
        using namespace cal_fields;
        const int base = tenPointSeven ? kIfFlatness10M7Offset : kIfFlatness2M9Offset;
        for (int i = 0; i < kIfEntries; ++i) {
            const int current = tenPointSeven ? table_.IfFlatness10M7(i) : table_.IfFlatness2M9(i);
            entries_.push_back({current, min_[base + i], max_[base + i]});
            const auto rowOf = [](double start, int percent) {
                return ScreenRow(start - 10.0 * std::log10(percent * 0.01) * kRowsPerDb);
            };
            const int c = static_cast<int>(std::floor(i * 640.0 / kIfEntries + 0.5));
            for (int column = c + 1; column <= c + kIfColumns && column < kTracePoints; ++column) {
                page_.trace[column] = rowOf(kCentreRow, current);
                page_.lower[column] = rowOf(kCentreRow + 16, min_[base + i]);
                page_.upper[column] = rowOf(kCentreRow - 16, max_[base + i]);
            }
        }
        Show(tenPointSeven ? "10.7 MHz IF flatness" : "2.9 MHz IF flatness", 0);
    }

    void ResetTrace() { page_.trace.fill(kCentreRow); }

  private:
    void Put(int column, int current, int min, int max, double countsPerDb) {
        const double rowsPerCount = kRowsPerDb / countsPerDb;
        page_.trace[column] = ScreenRow(kCentreRow - (current - 128) * rowsPerCount);
        page_.lower[column] = ScreenRow(kCentreRow - (min - 144) * rowsPerCount);
        page_.upper[column] = ScreenRow(kCentreRow - (max - 112) * rowsPerCount);
    }

    void Show(const char* what, int row) {
        doc_.EditTrace([this](ScreenState& s) {
            s.trace.traceAInt = page_.trace;
            s.display.lowerLimitRows = page_.lower;
            s.display.upperLimitRows = page_.upper;
            s.display.limitLinesOn = limits_;
        });
        doc_.RequestRepaint();
        char text[96];
        std::snprintf(text, sizeof text, "Currently viewing:\r\n %s, ATTEN = %d dB", what, 5 * row);
        WriteTextPage(text);
        doc_.GetPrompter().Inform(text, kPageCaption);
    }

    // The page as a technician reads it at a terminal: its title, then one
    // line per table entry with the unit's count and the factory's extremes.
    void WriteTextPage(const std::string& title) {
        if (text_ != nullptr) {
            *text_ << "\n" << WithoutCarriageReturns(title) << "\nentry current min max\n";
            for (std::size_t i = 0; i < entries_.size(); ++i) {
                *text_ << i << ' ' << entries_[i].current << ' ' << entries_[i].min << ' '
                       << entries_[i].max << '\n';
            }
            text_->flush();
        }
        entries_.clear();
    }

    static std::string WithoutCarriageReturns(std::string text) {
        std::erase(text, '\r');
        return text;
    }

    AnalyzerDocument& doc_;
    const CalTable& table_;
    const Set& min_;
    const Set& max_;
    bool limits_;
    std::ostream* text_;
    std::vector<Entry> entries_;
    Page page_;
};

}  // namespace

void ViewFlatnessCorrections(AnalyzerDocument& document, const std::filesystem::path& setsFolder,
                             std::ostream* text) {
    // The pages take the trace and the screen's settings: a running sweep
    // would draw over them, and it is not started again.
    document.StopAfterThisPass();
    while (document.SweepRunning()) {
        document.GetClock().SleepMs(50);
    }
    ProcedureHold hold(document);
    Set min{};
    Set max{};
    const bool limits = ReadSet(setsFolder / ComparisonSets::kMinFile, min);
    ReadSet(setsFolder / ComparisonSets::kMaxFile, max);
    document.EditSettings([](InstrumentState& s) {
        s.dbPerDiv = 1.0;
        s.refLevelDbm = 5.0;
    });
    document.SetFrequencies(0.0, kLowBandTopHz);
    FlatnessPages pages(hold.Instrument(), min, max, limits, text);
    pages.ShowFieldComparison();
    for (int row = 0; row < cal_fields::kFlatnessRows; ++row) {
        pages.LowBand(row);
    }
    document.SetFrequencies(kHighBandStartHz, kHighBandStopHz);
    for (int row = 0; row < cal_fields::kFlatnessRows; ++row) {
        pages.HighBand(row);
    }
    pages.ResetTrace();
    pages.IfResponse(true);
    pages.IfResponse(false);
}

}  // namespace tavlin
