#include "panel/entry_rules.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace tavlin {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

const char kNotANumber[] = "Please enter a number.";
const char kNotAnInteger[] = "Please enter an integer.";
const char kOutOfRange[] = "The number is out of range.";
const char kMvNotPositive[] = "A level in mV must be greater than 0.";
const char kNotAboveZero[] = "Please enter a number greater than 0.";
const char kNotAPercent[] = "Please enter a percentage greater than 0 and less than 100.";
const char kRatioNotPositive[] = "The Span / RBW ratio must be a number greater than 0.";

constexpr double kSweepTimeMinMs = 0.5;
constexpr double kSweepTimeMaxMs = 2000.0;
constexpr int kExtraDelayMaxMs = 5000;
constexpr int kPortMin = 1;
constexpr int kPortMax = 65535;

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// std::from_chars takes no "+", but people type one.
std::string_view DropLeadingPlus(std::string_view text) {
    if (!text.empty() && text.front() == '+' && text.size() > 1 && text[1] != '-') {
        text.remove_prefix(1);
    }
    return text;
}

std::string RangeMessage(const char* kind, const std::string& low, const std::string& high) {
    return std::string("Please enter ") + kind + " between " + low + " and " + high + ".";
}

double ThousandPower(int exponent) {
    double factor = 1.0;
    for (int i = 0; i < exponent; ++i) {
        factor *= 1000.0;
    }
    return factor;
}

// A number field with the unit typed after it, if it has one of these.
struct UnitEntry {
    std::string_view number;
    std::optional<int> exponent;
};

UnitEntry SplitTypedUnit(std::string_view text) {
    constexpr std::pair<std::string_view, int> kUnits[] = {
        {"g", 3}, {"ghz", 3}, {"m", 2}, {"mhz", 2}, {"k", 1}, {"khz", 1}, {"hz", 0},
    };
    std::size_t letters = text.size();
    while (letters > 0 && std::isalpha(static_cast<unsigned char>(text[letters - 1])) != 0) {
        --letters;
    }
    std::string unit(text.substr(letters));
    for (char& c : unit) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const auto& [name, exponent] : kUnits) {
        if (unit == name) {
            return {TrimBlanks(text.substr(0, letters)), exponent};
        }
    }
    return {text, std::nullopt};
}

// The field as a finite number, or the message that refuses it.
FieldCheck<double> CheckFiniteNumber(std::string_view text) {
    const ParsedNumber parsed = ParseNumberField(text);
    switch (parsed.status) {
        case NumberParse::Number:
            return FieldCheck<double>::Accept(parsed.value);
        case NumberParse::OutOfRange:
            return FieldCheck<double>::Refuse(kOutOfRange);
        case NumberParse::NotANumber:
            break;
    }
    return FieldCheck<double>::Refuse(kNotANumber);
}

FieldCheck<double> AcceptIfFinite(double value) {
    if (!std::isfinite(value)) {
        return FieldCheck<double>::Refuse(kOutOfRange);
    }
    return FieldCheck<double>::Accept(value);
}

}  // namespace

ParsedNumber ParseNumberField(std::string_view text) {
    const std::string_view number = DropLeadingPlus(TrimBlanks(text));
    if (number.empty()) {
        return {};
    }
    double value = 0.0;
    const char* end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(number.data(), end, value);
    if (stop != end) {
        return {};
    }
    if (error == std::errc::result_out_of_range) {
        return {NumberParse::OutOfRange, 0.0};
    }
    if (error != std::errc() || std::isnan(value)) {
        return {};
    }
    if (std::isinf(value)) {
        return {NumberParse::OutOfRange, 0.0};
    }
    return {NumberParse::Number, value};
}

std::string FormatNumberField(double value) {
    if (value == 0.0) {
        value = 0.0;  // no "-0"
    }
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    return std::string(text, result.ptr);
}

KeypadStart ScaleKeypadStart(double startHz) {
    KeypadStart start{startHz, 0};
    while (start.number > 1000.0 && start.exponent < kKeypadMaxExponent) {
        start.number *= 0.001;
        ++start.exponent;
    }
    return start;
}

FieldCheck<double> CheckKeypadEntry(std::string_view text, int exponent) {
    const UnitEntry entry = SplitTypedUnit(TrimBlanks(text));
    const FieldCheck<double> number = CheckFiniteNumber(entry.number);
    if (!number.value) {
        return number;
    }
    return AcceptIfFinite(*number.value * ThousandPower(entry.exponent.value_or(exponent)));
}

FieldCheck<double> CheckAmplitudeEntry(std::string_view text, AmplitudeUnit unit) {
    const FieldCheck<double> number = CheckFiniteNumber(text);
    if (!number.value) {
        return number;
    }
    const double x = *number.value;
    switch (unit) {
        case AmplitudeUnit::Dbm:
            return AcceptIfFinite(x);
        case AmplitudeUnit::Dbmv:
            return AcceptIfFinite(x - kDbmvAboveDbm);
        case AmplitudeUnit::Mv:
            if (x <= 0.0) {
                return FieldCheck<double>::Refuse(kMvNotPositive);
            }
            return AcceptIfFinite(20.0 * std::log10(x) - kDbmvAboveDbm);
    }
    return FieldCheck<double>::Refuse(kNotANumber);
}

FieldCheck<double> CheckNumberEntry(std::string_view text) {
    return CheckFiniteNumber(text);
}

FieldCheck<double> CheckNumberAboveZero(std::string_view text) {
    const FieldCheck<double> number = CheckFiniteNumber(text);
    if (number.value && !(*number.value > 0.0)) {
        return FieldCheck<double>::Refuse(kNotAboveZero);
    }
    return number;
}

FieldCheck<double> CheckPercentEntry(std::string_view text) {
    const FieldCheck<double> number = CheckFiniteNumber(text);
    if (number.value && !(*number.value > 0.0 && *number.value < 100.0)) {
        return FieldCheck<double>::Refuse(kNotAPercent);
    }
    return number;
}

FieldCheck<double> CheckNumberInRange(std::string_view text, double low, double high) {
    const FieldCheck<double> number = CheckFiniteNumber(text);
    if (number.value && (*number.value < low || *number.value > high)) {
        return FieldCheck<double>::Refuse(
            RangeMessage("a number", FormatNumberField(low), FormatNumberField(high)));
    }
    return number;
}

FieldCheck<int> CheckIntegerInRange(std::string_view text, int low, int high) {
    const std::string_view digits = DropLeadingPlus(TrimBlanks(text));
    long long value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || stop != end ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return FieldCheck<int>::Refuse(kNotAnInteger);
    }
    if (error == std::errc::result_out_of_range || value < low || value > high) {
        return FieldCheck<int>::Refuse(
            RangeMessage("an integer", std::to_string(low), std::to_string(high)));
    }
    return FieldCheck<int>::Accept(static_cast<int>(value));
}

FieldCheck<double> CheckZeroSpanSweepTime(std::string_view text) {
    return CheckNumberInRange(text, kSweepTimeMinMs, kSweepTimeMaxMs);
}

FieldCheck<double> CheckSpanRbwRatio(std::string_view text) {
    const ParsedNumber parsed = ParseNumberField(text);
    if (parsed.status == NumberParse::OutOfRange) {
        return FieldCheck<double>::Refuse(kOutOfRange);
    }
    const double ratio = parsed.status == NumberParse::Number ? parsed.value : 0.0;
    if (ratio <= 0.0) {
        return FieldCheck<double>::Refuse(kRatioNotPositive);
    }
    return FieldCheck<double>::Accept(ratio);
}

std::string FormatSpanRbwRatio(double ratio) {
    char text[400];  // a double's whole digits fit in 310 characters
    const auto result = std::to_chars(text, text + sizeof text, ratio, std::chars_format::fixed, 0);
    return std::string(text, result.ptr);
}

FieldCheck<int> CheckExtraDelay(std::string_view text) {
    return CheckIntegerInRange(text, 0, kExtraDelayMaxMs);
}

FieldCheck<int> CheckPort(std::string_view text) {
    return CheckIntegerInRange(text, kPortMin, kPortMax);
}

}  // namespace tavlin
