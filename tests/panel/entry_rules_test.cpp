#include "panel/entry_rules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/row_name.h"

namespace tavlin {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kNotANumber = "Please enter a number.";
constexpr const char* kOutOfRange = "The number is out of range.";
constexpr const char* kSweepTime = "Please enter a number between 0.5 and 2000.";
constexpr const char* kRatio = "The Span / RBW ratio must be a number greater than 0.";
constexpr const char* kMv = "A level in mV must be greater than 0.";
constexpr const char* kDelay = "Please enter an integer between 0 and 5000.";
constexpr const char* kPort = "Please enter an integer between 1 and 65535.";
constexpr const char* kInteger = "Please enter an integer.";
constexpr const char* kAboveZero = "Please enter a number greater than 0.";
constexpr const char* kPercent = "Please enter a percentage greater than 0 and less than 100.";

TEST(EntryRulesTest, NumberFieldsAreReadOnlyWhenWhollyAFiniteDecimalNumber) {
    using enum NumberParse;
    struct Row {
        const char* text;
        NumberParse status;
        double value = 0.0;
    };
    const Row rows[] = {
        {"902", Number, 902.0},    {" 1.5 ", Number, 1.5},   {".5", Number, 0.5},
        {"5.", Number, 5.0},       {"-20", Number, -20.0},   {"+3", Number, 3.0},
        {"1e3", Number, 1000.0},   {"2.5E-1", Number, 0.25}, {"", NotANumber},
        {"   ", NotANumber},       {"abc", NotANumber},      {"1.5x", NotANumber},
        {"1,5", NotANumber},       {"1 5", NotANumber},      {"--1", NotANumber},
        {"+-1", NotANumber},       {"+", NotANumber},        {".", NotANumber},
        {"0x10", NotANumber},      {"nan", NotANumber},      {"1..5", NotANumber},
        {"1e999", OutOfRange},     {"-1e999", OutOfRange},   {"inf", OutOfRange},
        {"-infinity", OutOfRange}, {"1e-999", OutOfRange},
    };
    for (const Row& row : rows) {
        const ParsedNumber parsed = ParseNumberField(row.text);
        EXPECT_EQ(parsed.status, row.status) << '"' << row.text << '"';
        if (row.status == Number) {
            EXPECT_DOUBLE_EQ(parsed.value, row.value) << row.text;
        }
    }
}

// Starting texts have no trailing zeros and no negative zero, and a decimal
// comma locale changes neither reading nor writing.
TEST(EntryRulesTest, StartingTextsWithAPointWhateverTheLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        std::setlocale(LC_NUMERIC, "C.UTF-8");
    }
    EXPECT_DOUBLE_EQ(ParseNumberField("1.5").value, 1.5);
    const std::pair<std::string, const char*> rows[] = {
        {FormatNumberField(-46.9897), "-46.9897"},
        {FormatNumberField(0.1 + 0.2), "0.3"},
        {FormatNumberField(-0.0), "0"},
        {FormatNumberField(123456789012.5), "123456789012.5"},
        {FormatSpanRbwRatio(12.7), "13"},
        {FormatSpanRbwRatio(2.5), "2"},  // the C library rounds half to even
    };
    std::setlocale(LC_NUMERIC, previous.c_str());
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(text, expected);
    }
}

FieldCheck<double> Widened(const FieldCheck<int>& c) {
    return {c.value ? std::optional<double>(*c.value) : std::nullopt, c.refusal};
}

using Check = std::function<FieldCheck<double>(std::string_view)>;
Check Keypad(int exponent) {
    return [exponent](std::string_view t) { return CheckKeypadEntry(t, exponent); };
}
Check Amplitude(AmplitudeUnit unit) {
    return [unit](std::string_view t) { return CheckAmplitudeEntry(t, unit); };
}
const Check kDelayCheck = [](std::string_view t) { return Widened(CheckExtraDelay(t)); };
const Check kPortCheck = [](std::string_view t) { return Widened(CheckPort(t)); };

// The value each dialog sets for a field it takes, in Hz, dBm, ms, ..., and
// the fields it refuses, with the message it shows while it stays open.
struct FieldRow {
    const char* name;
    Check check;
    std::vector<std::pair<const char*, double>> taken;
    std::vector<const char*> refused;
    const char* refusal;
    friend void PrintTo(const FieldRow& row, std::ostream* out) { *out << row.name; }
};

class EntryFieldTest : public testing::TestWithParam<FieldRow> {};

TEST_P(EntryFieldTest, TakesAndRefusesItsFieldsWithTheirValuesAndMessage) {
    const FieldRow& row = GetParam();
    for (const auto& [text, value] : row.taken) {
        const FieldCheck<double> check = row.check(text);
        EXPECT_DOUBLE_EQ(check.value.value_or(kNaN), value)
            << "'" << text << "': " << check.refusal;
    }
    for (const char* text : row.refused) {
        const FieldCheck<double> check = row.check(text);
        EXPECT_FALSE(check.value) << "'" << text << "'";
        EXPECT_EQ(check.refusal, row.refusal) << "'" << text << "'";
    }
}

using enum AmplitudeUnit;
const FieldRow kFieldRows[] = {
    // Finite in the field, infinite once scaled to Hz.
    {"KeypadGHz", Keypad(3), {{"1.5", 1.5e9}}, {"1e306", "inf"}, kOutOfRange},
    {"KeypadMHz", Keypad(2), {{"-5", -5e6}}, {"1.2.3"}, kNotANumber},
    {"KeypadKHz", Keypad(1), {{"12.5", 12500.0}}, {}, ""},
    {"DBm", Amplitude(Dbm), {{"0", 0.0}}, {"ten"}, kNotANumber},
    {"DBmV", Amplitude(Dbmv), {{"0", -46.9897}, {"-1", -47.9897}}, {"-inf"}, kOutOfRange},
    {"MV", Amplitude(Mv), {{"1", -46.9897}, {"1000", 60.0 - 46.9897}}, {"0", "-1", "-0"}, kMv},
    {"MVNotANumber", Amplitude(Mv), {}, {"ten"}, kNotANumber},
    {"MVInfinite", Amplitude(Mv), {}, {"-inf"}, kOutOfRange},
    {"DbPerDiv", CheckNumberAboveZero, {{"0.5", 0.5}}, {"0", "-0", "-2"}, kAboveZero},
    {"Percent", CheckPercentEntry, {{"99", 99.0}, {"0.5", 0.5}}, {"0", "100", "-1"}, kPercent},
    {"SweepTimeOutOfRange", CheckZeroSpanSweepTime, {}, {"0.4", "2001", "0", "-10"}, kSweepTime},
    {"SweepTime", CheckZeroSpanSweepTime, {{"0.5", 0.5}, {"2000", 2e3}}, {"ms"}, kNotANumber},
    {"SpanRbwNotAboveZero", CheckSpanRbwRatio, {}, {"0", "-10", "", "abc"}, kRatio},
    {"SpanRbw", CheckSpanRbwRatio, {{" 160 ", 160.0}, {"0.5", 0.5}}, {"1e999"}, kOutOfRange},
    {"ExtraDelay", kDelayCheck, {{"0", 0.0}, {"5000", 5000.0}}, {"5001", "-1"}, kDelay},
    {"PortOutOfRange", kPortCheck, {}, {"0", "65536", "99999999999999999999"}, kPort},
    {"Port", kPortCheck, {{" 3976 ", 3976.0}, {"1", 1.0}, {"65535", 65535.0}}, {}, ""},
    {"PortNotAnInteger", kPortCheck, {}, {"", "12.5", "1e3", "port", "80 80"}, kInteger},
};
INSTANTIATE_TEST_SUITE_P(Dialogs, EntryFieldTest, testing::ValuesIn(kFieldRows), test::kRowName);

}  // namespace
}  // namespace tavlin
