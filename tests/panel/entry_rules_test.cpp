#include "panel/entry_rules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

namespace tavlin {
namespace {

TEST(EntryRulesNumberField, ReadsDecimalNumbersWithBlanksSignsAndExponents) {
    struct Case {
        const char* text;
        double value;
    };
    for (const Case& c :
         {Case{"902", 902.0}, Case{" 1.5 ", 1.5}, Case{".5", 0.5}, Case{"5.", 5.0},
          Case{"-20", -20.0}, Case{"+3", 3.0}, Case{"1e3", 1000.0}, Case{"2.5E-1", 0.25}}) {
        const ParsedNumber parsed = ParseNumberField(c.text);
        EXPECT_EQ(parsed.status, NumberParse::Number) << c.text;
        EXPECT_DOUBLE_EQ(parsed.value, c.value) << c.text;
    }
}

TEST(EntryRulesNumberField, RefusesTextThatIsNotWhollyANumber) {
    for (const char* text :
         {"", "   ", "abc", "1.5x", "1,5", "1 5", "--1", "+-1", "+", ".", "0x10", "nan", "1..5"}) {
        EXPECT_EQ(ParseNumberField(text).status, NumberParse::NotANumber) << '"' << text << '"';
    }
}

TEST(EntryRulesNumberField, NumbersBeyondADoubleAreOutOfRange) {
    for (const char* text : {"1e999", "-1e999", "inf", "-infinity", "1e-999"}) {
        EXPECT_EQ(ParseNumberField(text).status, NumberParse::OutOfRange) << text;
    }
}

TEST(EntryRulesNumberField, ReadsAndWritesAPointWhateverTheLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        std::setlocale(LC_NUMERIC, "C.UTF-8");
    }
    EXPECT_DOUBLE_EQ(ParseNumberField("1.5").value, 1.5);
    EXPECT_EQ(FormatNumberField(4.4), "4.4");
    std::setlocale(LC_NUMERIC, previous.c_str());
}

TEST(EntryRulesNumberField, StartingTextHasNoTrailingZerosOrNegativeZero) {
    EXPECT_EQ(FormatNumberField(902.0), "902");
    EXPECT_EQ(FormatNumberField(-46.9897), "-46.9897");
    EXPECT_EQ(FormatNumberField(0.1 + 0.2), "0.3");
    EXPECT_EQ(FormatNumberField(-0.0), "0");
    EXPECT_EQ(FormatNumberField(123456789012.5), "123456789012.5");
}

TEST(EntryRulesKeypad, ScalesTheStartingValueWhileAboveOneThousand) {
    struct Case {
        double hz;
        const char* shown;
        int exponent;
    };
    for (const Case& c : {Case{902e6, "902", 2}, Case{915e6, "915", 2}, Case{4.4e9, "4.4", 3},
                          Case{1000.0, "1000", 0}, Case{1000.5, "1.0005", 1}, Case{0.0, "0", 0},
                          Case{1e6, "1000", 1}, Case{-5e6, "-5000000", 0}}) {
        const KeypadStart start = ScaleKeypadStart(c.hz);
        EXPECT_EQ(FormatNumberField(start.number), c.shown) << c.hz;
        EXPECT_EQ(start.exponent, c.exponent) << c.hz;
    }
}

TEST(EntryRulesKeypad, ScalingStopsAtGigahertz) {
    const KeypadStart start = ScaleKeypadStart(2.5e15);
    EXPECT_EQ(start.exponent, 3);
    EXPECT_EQ(FormatNumberField(start.number), "2500000");
    EXPECT_EQ(ScaleKeypadStart(1e300).exponent, 3);
}

TEST(EntryRulesKeypad, ResultIsTheFieldInTheChosenUnit) {
    EXPECT_EQ(CheckKeypadEntry("1.5", 3).value, 1.5e9);
    EXPECT_EQ(CheckKeypadEntry("902", 2).value, 902e6);
    EXPECT_EQ(CheckKeypadEntry("12.5", 1).value, 12500.0);
    EXPECT_EQ(CheckKeypadEntry("7", 0).value, 7.0);
    EXPECT_EQ(CheckKeypadEntry("-5", 2).value, -5e6);
}

TEST(EntryRulesKeypad, RefusesUnreadableOrNonFiniteResults) {
    const FieldCheck<double> text = CheckKeypadEntry("1.2.3", 2);
    EXPECT_FALSE(text.value);
    EXPECT_EQ(text.refusal, "Please enter a number.");
    // Finite in the field, infinite once scaled to Hz.
    const FieldCheck<double> huge = CheckKeypadEntry("1e306", 3);
    EXPECT_FALSE(huge.value);
    EXPECT_EQ(huge.refusal, "The number is out of range.");
    EXPECT_EQ(CheckKeypadEntry("inf", 0).refusal, "The number is out of range.");
}

TEST(EntryRulesAmplitude, ConvertsEachUnitToDbm) {
    EXPECT_DOUBLE_EQ(*CheckAmplitudeEntry("-20", AmplitudeUnit::Dbm).value, -20.0);
    EXPECT_DOUBLE_EQ(*CheckAmplitudeEntry("0", AmplitudeUnit::Dbmv).value, -46.9897);
    EXPECT_DOUBLE_EQ(*CheckAmplitudeEntry("1", AmplitudeUnit::Mv).value, -46.9897);
    EXPECT_DOUBLE_EQ(*CheckAmplitudeEntry("1000", AmplitudeUnit::Mv).value, 60.0 - 46.9897);
    EXPECT_DOUBLE_EQ(*CheckAmplitudeEntry("56.9897", AmplitudeUnit::Dbmv).value, 10.0);
}

TEST(EntryRulesAmplitude, MillivoltsOfZeroOrBelowAreRefused) {
    for (const char* text : {"0", "-1", "-0"}) {
        const FieldCheck<double> check = CheckAmplitudeEntry(text, AmplitudeUnit::Mv);
        EXPECT_FALSE(check.value) << text;
        EXPECT_EQ(check.refusal, "A level in mV must be greater than 0.") << text;
    }
    // The same numbers are levels in the logarithmic units.
    EXPECT_TRUE(CheckAmplitudeEntry("0", AmplitudeUnit::Dbm).value);
    EXPECT_TRUE(CheckAmplitudeEntry("-1", AmplitudeUnit::Dbmv).value);
}

TEST(EntryRulesAmplitude, RefusesUnreadableAndNonFiniteNumbersInEveryUnit) {
    for (AmplitudeUnit unit : {AmplitudeUnit::Dbm, AmplitudeUnit::Mv, AmplitudeUnit::Dbmv}) {
        EXPECT_EQ(CheckAmplitudeEntry("ten", unit).refusal, "Please enter a number.");
        EXPECT_EQ(CheckAmplitudeEntry("-inf", unit).refusal, "The number is out of range.");
    }
}

TEST(EntryRulesZeroSpan, SweepTimeFromHalfAMillisecondToTwoSeconds) {
    EXPECT_EQ(CheckZeroSpanSweepTime("0.5").value, 0.5);
    EXPECT_EQ(CheckZeroSpanSweepTime("2000").value, 2000.0);
    for (const char* text : {"0.4", "2001", "0", "-10"}) {
        const FieldCheck<double> check = CheckZeroSpanSweepTime(text);
        EXPECT_FALSE(check.value) << text;
        EXPECT_EQ(check.refusal, "Please enter a number between 0.5 and 2000.") << text;
    }
    EXPECT_EQ(CheckZeroSpanSweepTime("ms").refusal, "Please enter a number.");
}

TEST(EntryRulesRatio, AnyPositiveNumberIsARatio) {
    EXPECT_EQ(CheckSpanRbwRatio("50").value, 50.0);
    EXPECT_EQ(CheckSpanRbwRatio(" 160 ").value, 160.0);
    EXPECT_EQ(CheckSpanRbwRatio("0.5").value, 0.5);
}

TEST(EntryRulesRatio, ZeroNegativeAndNonNumbersAreRefused) {
    for (const char* text : {"0", "-10", "", "abc"}) {
        const FieldCheck<double> check = CheckSpanRbwRatio(text);
        EXPECT_FALSE(check.value) << text;
        EXPECT_EQ(check.refusal, "The Span / RBW ratio must be a number greater than 0.") << text;
    }
    EXPECT_EQ(CheckSpanRbwRatio("1e999").refusal, "The number is out of range.");
}

TEST(EntryRulesRatio, StartingTextIsTheRatioRounded) {
    EXPECT_EQ(FormatSpanRbwRatio(80.0), "80");
    EXPECT_EQ(FormatSpanRbwRatio(12.7), "13");
    EXPECT_EQ(FormatSpanRbwRatio(2.5), "2");  // the C library rounds half to even
}

TEST(EntryRulesIntegers, ExtraDelayAndPortsStayInTheirRanges) {
    EXPECT_EQ(CheckExtraDelay("0").value, 0);
    EXPECT_EQ(CheckExtraDelay("5000").value, 5000);
    EXPECT_EQ(CheckExtraDelay("5001").refusal, "Please enter an integer between 0 and 5000.");
    EXPECT_EQ(CheckExtraDelay("-1").refusal, "Please enter an integer between 0 and 5000.");
    EXPECT_EQ(CheckPort(" 3976 ").value, 3976);
    EXPECT_EQ(CheckPort("65535").value, 65535);
    EXPECT_EQ(CheckPort("1").value, 1);
    for (const char* text : {"0", "65536", "99999999999999999999"}) {
        EXPECT_EQ(CheckPort(text).refusal, "Please enter an integer between 1 and 65535.") << text;
    }
}

TEST(EntryRulesIntegers, FractionsAndTextAreNotIntegers) {
    for (const char* text : {"", "12.5", "1e3", "port", "80 80"}) {
        const FieldCheck<int> check = CheckPort(text);
        EXPECT_FALSE(check.value) << text;
        EXPECT_EQ(check.refusal, "Please enter an integer.") << text;
    }
}

}  // namespace
}  // namespace tavlin
