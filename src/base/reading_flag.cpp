#include "base/reading_flag.h"

namespace tavlin {

std::string_view ReadingFlagWord(ReadingFlag flag) {
    switch (flag) {
        case ReadingFlag::kNone:
            return "";
        case ReadingFlag::kAboveScreen:
            return ">";
        case ReadingFlag::kBelowScreen:
            return "<";
        case ReadingFlag::kOverRange:
            return "OVER RANGE";
        case ReadingFlag::kBelowNoise:
            return "NOISE";
        case ReadingFlag::kBeyondFilter:
            return "BEYOND FILTER";
        case ReadingFlag::kOffSpan:
            return "OFF SPAN";
        case ReadingFlag::kNotMeasured:
            return "NOT MEASURED";
        case ReadingFlag::kStale:
            return "STALE";
        case ReadingFlag::kIncomplete:
            return "INCOMPLETE";
        case ReadingFlag::kUncalibrated:
            return "UNCAL";
        case ReadingFlag::kDetector:
            return "DETECTOR";
        case ReadingFlag::kUncorrected:
            return "UNCORR";
    }
    return "";
}

bool ReadingFlagKeepsNumber(ReadingFlag flag) {
    return flag != ReadingFlag::kOffSpan && flag != ReadingFlag::kNotMeasured &&
           flag != ReadingFlag::kStale;
}

namespace {

int Severity(ReadingFlag flag) {
    if (flag == ReadingFlag::kNone) {
        return 0;
    }
    if (flag == ReadingFlag::kAboveScreen || flag == ReadingFlag::kBelowScreen) {
        return 1;
    }
    return ReadingFlagKeepsNumber(flag) ? 2 : 3;
}

}  // namespace

ReadingFlag WorseReadingFlag(ReadingFlag a, ReadingFlag b) {
    return Severity(b) > Severity(a) ? b : a;
}

std::string FlaggedReadingText(std::string_view number, ReadingFlag flag) {
    const std::string_view word = ReadingFlagWord(flag);
    if (flag == ReadingFlag::kNone) {
        return std::string(number);
    }
    if (!ReadingFlagKeepsNumber(flag)) {
        return std::string(word);
    }
    if (flag == ReadingFlag::kAboveScreen || flag == ReadingFlag::kBelowScreen) {
        return std::string(word) + std::string(number);
    }
    return std::string(number) + " " + std::string(word);
}

ScpiReadingError ScpiErrorOfReadingFlag(ReadingFlag flag) {
    if (flag == ReadingFlag::kNone) {
        return {};
    }
    const bool noNumber = !ReadingFlagKeepsNumber(flag) || flag == ReadingFlag::kIncomplete;
    const std::string word(ReadingFlagWord(flag));
    const std::string shown = word == ">" ? "ABOVE SCREEN" : word == "<" ? "BELOW SCREEN" : word;
    if (noNumber) {
        return {-230, "Data corrupt or stale;" + shown};
    }
    return {-231, "Data questionable;" + shown};
}

}  // namespace tavlin
