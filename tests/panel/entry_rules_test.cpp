#include "panel/entry_rules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavlin {
namespace {

constexpr const char* kNotANumber = "Please enter a number.";
constexpr const char* kOutOfRange = "The number is out of range.";
constexpr const char* kSweepTime = "Please enter a number between 0.5 and 2000.";
constexpr const char* kRatio = "The Span / RBW ratio must be a number greater than 0.";
constexpr const char* kMv = "A level in mV must be greater than 0.";
constexpr const char* kDelay = "Please enter an integer between 0 and 5000.";
constexpr const char* kPort = "Please enter an integer between 1 and 65535.";
constexpr const char* kInteger = "Please enter an integer.";

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
        {FormatNumberField(902.0), "902"},
        {FormatNumberField(4.4), "4.4"},
        {FormatNumberField(-46.9897), "-46.9897"},
        {FormatNumberField(0.1 + 0.2), "0.3"},
        {FormatNumberField(-0.0), "0"},
        {FormatNumberField(123456789012.5), "123456789012.5"},
        {FormatSpanRbwRatio(80.0), "80"},
        {FormatSpanRbwRatio(12.7), "13"},
        {FormatSpanRbwRatio(2.5), "2"},  // the C library rounds half to even
    };
    std::setlocale(LC_NUMERIC, previous.c_str());
    for (const auto& [text, expected] : rows) {
        EXPECT_EQ(text, expected);
    }
}

// The keypad divides by 1000 while above 1000, up to GHz.
TEST(EntryRulesTest, KeypadScalesItsStartingValue) {
    struct Row {
        double hz;
        const char* shown;
        int exponent;
    };
    for (const Row& row : {Row{902e6, "902", 2}, Row{4.4e9, "4.4", 3}, Row{1000.0, "1000", 0},
                           Row{1000.5, "1.0005", 1}, Row{0.0, "0", 0}, Row{1e6, "1000", 1},
                           Row{-5e6, "-5000000", 0}, Row{2.5e15, "2500000", 3}}) {
        const KeypadStart start = ScaleKeypadStart(row.hz);
        EXPECT_EQ(FormatNumberField(start.number), row.shown) << row.hz;
        EXPECT_EQ(start.exponent, row.exponent) << row.hz;
    }
    EXPECT_EQ(ScaleKeypadStart(1e300).exponent, 3);
}

FieldCheck<double> Widened(const FieldCheck<int>& c) {
    return {c.value ? std::optional<double>(*c.value) : std::nullopt, c.refusal};
}

// The value each dialog sets for an accepted field, in Hz, dBm, ms, ...
TEST(EntryRulesTest, AcceptedFieldsAndTheirValues) {
    using enum AmplitudeUnit;
    struct Row {
        const char* name;
        FieldCheck<double> check;
        double value;
    };
    const Row rows[] = {
        {"keypad GHz", CheckKeypadEntry("1.5", 3), 1.5e9},
        {"keypad MHz", CheckKeypadEntry("-5", 2), -5e6},
        {"keypad kHz", CheckKeypadEntry("12.5", 1), 12500.0},
        {"dBm", CheckAmplitudeEntry("0", Dbm), 0.0},
        {"dBmV", CheckAmplitudeEntry("0", Dbmv), -46.9897},
        {"negative dBmV", CheckAmplitudeEntry("-1", Dbmv), -47.9897},
        {"1 mV", CheckAmplitudeEntry("1", Mv), -46.9897},
        {"1000 mV", CheckAmplitudeEntry("1000", Mv), 60.0 - 46.9897},
        {"shortest sweep time", CheckZeroSpanSweepTime("0.5"), 0.5},
        {"longest sweep time", CheckZeroSpanSweepTime("2000"), 2000.0},
        {"ratio", CheckSpanRbwRatio(" 160 "), 160.0},
        {"ratio below 1", CheckSpanRbwRatio("0.5"), 0.5},
        {"no extra delay", Widened(CheckExtraDelay("0")), 0.0},
        {"longest extra delay", Widened(CheckExtraDelay("5000")), 5000.0},
        {"port", Widened(CheckPort(" 3976 ")), 3976.0},
        {"lowest port", Widened(CheckPort("1")), 1.0},
        {"highest port", Widened(CheckPort("65535")), 65535.0},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(row.check.value) << row.name << ": " << row.check.refusal;
        EXPECT_DOUBLE_EQ(*row.check.value, row.value) << row.name;
    }
}

// Which fields each dialog refuses, with the message it shows while it stays open.
TEST(EntryRulesTest, RefusedFieldsAndTheirMessages) {
    using Check = std::function<FieldCheck<double>(std::string_view)>;
    const auto keypad = [](int exponent) -> Check {
        return [exponent](std::string_view t) { return CheckKeypadEntry(t, exponent); };
    };
    const auto amplitude = [](AmplitudeUnit unit) -> Check {
        return [unit](std::string_view t) { return CheckAmplitudeEntry(t, unit); };
    };
    const Check delay = [](std::string_view t) { return Widened(CheckExtraDelay(t)); };
    const Check port = [](std::string_view t) { return Widened(CheckPort(t)); };
    struct Row {
        const char* name;
        Check check;
        std::vector<const char*> texts;
        const char* refusal;
    };
    const Row rows[] = {
        // Finite in the field, infinite once scaled to Hz.
        {"keypad", keypad(3), {"1e306", "inf"}, kOutOfRange},
        {"keypad", keypad(2), {"1.2.3"}, kNotANumber},
        {"dBm", amplitude(AmplitudeUnit::Dbm), {"ten"}, kNotANumber},
        {"dBmV", amplitude(AmplitudeUnit::Dbmv), {"-inf"}, kOutOfRange},
        {"mV", amplitude(AmplitudeUnit::Mv), {"0", "-1", "-0"}, kMv},
        {"mV", amplitude(AmplitudeUnit::Mv), {"ten"}, kNotANumber},
        {"mV", amplitude(AmplitudeUnit::Mv), {"-inf"}, kOutOfRange},
        {"sweep time", CheckZeroSpanSweepTime, {"0.4", "2001", "0", "-10"}, kSweepTime},
        {"sweep time", CheckZeroSpanSweepTime, {"ms"}, kNotANumber},
        {"span / RBW", CheckSpanRbwRatio, {"0", "-10", "", "abc"}, kRatio},
        {"span / RBW", CheckSpanRbwRatio, {"1e999"}, kOutOfRange},
        {"extra delay", delay, {"5001", "-1"}, kDelay},
        {"port", port, {"0", "65536", "99999999999999999999"}, kPort},
        {"port", port, {"", "12.5", "1e3", "port", "80 80"}, kInteger},
    };
    for (const Row& row : rows) {
        for (const char* text : row.texts) {
            const FieldCheck<double> check = row.check(text);
            EXPECT_FALSE(check.value) << row.name << " '" << text << "'";
            EXPECT_EQ(check.refusal, row.refusal) << row.name << " '" << text << "'";
        }
    }
}

}  // namespace
}  // namespace tavlin
