#include <gtest/gtest.h>

#include <clocale>

#include "remote/command_text.h"

namespace tavlin {
namespace {

TEST(CommandTextTest, GroupAndItemAreTheirFirstThreeLettersInUpperCase) {
    const auto c = CommandText::Split("frequency:CenTer 915e6");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->group, "FRE");
    EXPECT_EQ(c->rest, "CenTer 915e6");
    EXPECT_EQ(c->item, "CEN");
    EXPECT_EQ(c->argument, " 915e6");
    EXPECT_FALSE(c->query);
    EXPECT_EQ(c->value, 915e6);
}

TEST(CommandTextTest, TheItemEndsAtADigitSignPointBlankOrQuestionMark) {
    EXPECT_EQ(CommandText::Split("AMP:RLE-20")->value, -20.0);
    EXPECT_EQ(CommandText::Split("AMP:RLE-20")->item, "RLE");
    EXPECT_EQ(CommandText::Split("FRE:SPA.5e3")->value, 500.0);
    EXPECT_EQ(CommandText::Split("FRE:CEN+7")->value, 7.0);
    EXPECT_EQ(CommandText::Split("FRE CEN 1")->item, "CEN");  // a blank separates the group too
    // Numbers end at the first letter.
    EXPECT_EQ(CommandText::Split("FREQ:CENTER 100MHZ")->value, 100.0);
    EXPECT_EQ(CommandText::Split("FRE:CEN MHZ")->value, 0.0);
    EXPECT_EQ(CommandText::Split("FRE:CEN 1,5")->value, 1.0);
}

TEST(CommandTextTest, AQuestionMarkAfterTheArgumentsFirstCharacterMakesAQuery) {
    const auto spaced = CommandText::Split("MAR:FRE ?");
    EXPECT_TRUE(spaced->query);
    EXPECT_EQ(spaced->value, 1.0);
    EXPECT_FALSE(CommandText::Split("MAR:FRE?")->query);
    EXPECT_TRUE(CommandText::Split("TRA:DAT ?")->query);
}

TEST(CommandTextTest, ARestStartingWithAnArgumentCharacterIsAllItem) {
    const auto c = CommandText::Split("XYZ ?");
    EXPECT_EQ(c->item, "?");
    EXPECT_EQ(c->argument, "?");
    EXPECT_FALSE(c->query);
    const auto five = CommandText::Split("XYZ 5");
    EXPECT_EQ(five->item, "5");
    EXPECT_EQ(five->value, 5.0);
}

TEST(CommandTextTest, NoSeparatorAfterAGroupIsNoCommand) {
    EXPECT_FALSE(CommandText::Split("HELLO"));
    EXPECT_FALSE(CommandText::Split(":FRE 5"));
    EXPECT_FALSE(CommandText::Split(""));
    EXPECT_TRUE(CommandText::Split("SAV x.pqz"));
}

TEST(CommandTextTest, TheDecimalPointDoesNotDependOnTheLocale) {
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no German locale installed";
    }
    const double value = ReadLeadingNumber(" 1.5");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(value, 1.5);
}

}  // namespace
}  // namespace tavlin
