#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tavlin {

// The rules of the value-entry dialogs that do not depend on the widgets:
// how a number field is read, how the keypad scales its starting value, how
// the amplitude units convert, and which values each dialog refuses. Every
// check gives either the accepted value or the message the dialog shows while
// it stays open.

// dBmV of a level across 50 ohms is its dBm plus this (10 log10 of 50 000).
inline constexpr double kDbmvAboveDbm = 46.9897;

// The highest keypad unit: 0 = Hz, 1 = kHz, 2 = MHz, 3 = GHz.
inline constexpr int kKeypadMaxExponent = 3;

// What a dialog makes of a field: the value, or why it stays open.
template <typename T>
struct FieldCheck {
    std::optional<T> value;
    std::string refusal;

    static FieldCheck Accept(T v) { return {v, {}}; }
    static FieldCheck Refuse(std::string why) { return {std::nullopt, std::move(why)}; }
};

// How the keypad shows a starting value: the number and its unit exponent.
struct KeypadStart {
    double number = 0.0;
    int exponent = 0;
};

enum class AmplitudeUnit { Dbm, Mv, Dbmv };

// Reads a number field as a decimal number: surrounding blanks and a leading
// "+" are allowed, anything else after the number is not. Independent of the
// user's locale (the decimal point is always ".").
enum class NumberParse { Number, NotANumber, OutOfRange };
struct ParsedNumber {
    NumberParse status = NumberParse::NotANumber;
    double value = 0.0;
};
ParsedNumber ParseNumberField(std::string_view text);

// The text a number field starts with: up to 15 significant digits, no
// trailing zeros ("902", "4.4", "-46.9897").
std::string FormatNumberField(double value);

// Divides a starting value in Hz by 1000 while it is above 1000, up to GHz.
KeypadStart ScaleKeypadStart(double startHz);

// The keypad's result: the field times 1000^exponent, in Hz. A unit typed
// after the number ("915M", "2.4 GHz", "100k", "50Hz"; any case) takes the
// place of `exponent`.
FieldCheck<double> CheckKeypadEntry(std::string_view text, int exponent);

// The amplitude entry's result in dBm for the field read in the given unit.
FieldCheck<double> CheckAmplitudeEntry(std::string_view text, AmplitudeUnit unit);

// Any finite number (the dB entry).
FieldCheck<double> CheckNumberEntry(std::string_view text);

// A finite number above 0 (the dB entry of a scale).
FieldCheck<double> CheckNumberAboveZero(std::string_view text);

// A share in percent, above 0 and below 100: all of the power or none of it
// has no band.
FieldCheck<double> CheckPercentEntry(std::string_view text);

// A number within [low, high].
FieldCheck<double> CheckNumberInRange(std::string_view text, double low, double high);

// A whole number within [low, high].
FieldCheck<int> CheckIntegerInRange(std::string_view text, int low, int high);

// Zero Span Settings: the sweep time in ms, 0.5 .. 2000.
FieldCheck<double> CheckZeroSpanSweepTime(std::string_view text);

// Span / RBW ratio: text that is not a number counts as 0, and a ratio of 0
// or below is refused (the RBW is the span divided by it).
FieldCheck<double> CheckSpanRbwRatio(std::string_view text);

// The ratio list's starting text: the ratio rounded to a whole number.
std::string FormatSpanRbwRatio(double ratio);

// Extra Delay: 0 .. 5000 ms.
FieldCheck<int> CheckExtraDelay(std::string_view text);

// A TCP port: 1 .. 65535.
FieldCheck<int> CheckPort(std::string_view text);

}  // namespace tavlin
