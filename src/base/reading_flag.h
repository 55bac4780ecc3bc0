#pragma once

#include <string>
#include <string_view>

namespace tavlin {

// Why a reading cannot be taken at face value. Every reading the program
// shows, writes or sends carries one; the same flag reads the same on the
// screen, in the console and over both servers.
enum class ReadingFlag {
    kNone,
    kAboveScreen,   // taken from the top row: the level is at least this
    kBelowScreen,   // taken from the bottom line: the level is at most this
    kOverRange,     // the input or the IF was overdriven: no level is true
    kBelowNoise,    // too close to the noise for the stated resolution
    kBeyondFilter,  // the signal does not fit the filter it was measured through
    kOffSpan,       // the frequency lies outside the swept span: nothing measured
    kNotMeasured,   // the instrument cannot measure there (beyond 4.4 GHz, ...)
    kStale,         // taken under other settings than those now shown
    kIncomplete,    // the sweep it came from failed or lost data
    kUncalibrated,  // the calibration table is missing or implausible
    kDetector,      // the trace's detector does not read noise as its power: uncorrected
    kUncorrected,   // outside the transducer's table: the level at the analyzer's input
};

// The short word a bench analyzer user knows ("OVER RANGE", "OFF SPAN", ...);
// ">" and "<" for the screen edges; empty for kNone.
std::string_view ReadingFlagWord(ReadingFlag flag);

// Whether the flagged reading still carries a measured number. Off span, not
// measured and stale readings carry none worth printing.
bool ReadingFlagKeepsNumber(ReadingFlag flag);

// The flag that matters more when a reading has two causes: a reading with no
// number beats one with a doubtful number, which beats an edge of the screen.
ReadingFlag WorseReadingFlag(ReadingFlag a, ReadingFlag b);

// A reading as people read it: ">-20.00" or "<-77.70" at the screen edges,
// "-31.20 NOISE" for a doubtful number, the word alone ("OFF SPAN") when there
// is no number.
std::string FlaggedReadingText(std::string_view number, ReadingFlag flag);

// The SCPI error queue entry a flagged reading adds: -230 "Data corrupt or
// stale" when no number was measured or it is out of date, -231 "Data
// questionable" otherwise, each with the flag's word after a semicolon.
struct ScpiReadingError {
    int code = 0;
    std::string text;
};
ScpiReadingError ScpiErrorOfReadingFlag(ReadingFlag flag);

// The number SCPI sends in place of a reading that has none: 9.91E37, the
// standard's not-a-number.
constexpr double kScpiNotANumber = 9.91e37;

}  // namespace tavlin
