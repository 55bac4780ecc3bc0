#include "app/console_answers.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/test_directory.h"

namespace tavlin {
namespace {

// A bench script says Yes to the equipment check and No to a retry, by
// caption or by a piece of the text; anything else takes the answer for all.
TEST(ConsoleAnswers, KeysPickQuestionsByCaptionOrTextAndTheRestTakeTheAnswerForAll) {
    ConsoleAnswers answers;
    ASSERT_TRUE(answers.Add("yes"));
    ASSERT_TRUE(answers.Add("try again?=no"));
    ASSERT_TRUE(answers.Add("DOUBLE_CHECK CONNECTIONS = yes"));
    EXPECT_FALSE(answers.Add("maybe"));
    EXPECT_FALSE(answers.Add("=no"));
    EXPECT_FALSE(answers.Add("TRY AGAIN?=perhaps"));

    EXPECT_FALSE(answers.Answer("Level 150 MHz out of range", "TRY AGAIN?"));
    EXPECT_FALSE(answers.Answer("BOUNDARY ISSUE. TRY AGAIN?", "ERROR"));
    EXPECT_TRUE(answers.Answer("Verify that all equipment is set up", "DOUBLE_CHECK CONNECTIONS"));
    EXPECT_TRUE(answers.Answer("Proceed?", "CONNECT NOW"));
}

TEST(ConsoleAnswers, AFileOfAnswersIsReadWholeOrRefusedWithItsLine) {
    const std::filesystem::path dir = test::MakeTestDirectory("answers");
    const auto path = dir / "answers.txt";
    std::ofstream(path) << "# the factory bench\nno\n\nSETUP QUESTION=yes\n";
    ConsoleAnswers answers(true);
    std::string error;
    ASSERT_TRUE(answers.AddFile(path, error)) << error;
    EXPECT_TRUE(answers.Answer("extra delay?", "SETUP QUESTION"));
    EXPECT_FALSE(answers.Answer("Proceed?", "CONNECT NOW"));

    std::ofstream(path) << "yes\nTRY AGAIN\n";
    EXPECT_FALSE(answers.AddFile(path, error));
    EXPECT_NE(error.find("answers.txt:2: not an answer"), std::string::npos) << error;
    EXPECT_FALSE(answers.Answer("Proceed?", "CONNECT NOW"));  // the bad file took nothing
    EXPECT_FALSE(answers.AddFile(dir / "none.txt", error));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tavlin
