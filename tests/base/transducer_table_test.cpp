#include "base/transducer_table.h"

#include <gtest/gtest.h>

#include "support/row_name.h"

namespace tavlin {
namespace {

struct FileRow {
    const char* name;
    const char* text;
    const char* error;  // empty: the table loads
};

class TransducerFileRows : public ::testing::TestWithParam<FileRow> {};

TEST_P(TransducerFileRows, LoadsWholeOrSaysWhichLine) {
    const FileRow& row = GetParam();
    const TransducerTable::Parse parse = TransducerTable::FromText(row.text);
    EXPECT_EQ(parse.error, row.error);
    EXPECT_EQ(parse.table.has_value(), *row.error == '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Files, TransducerFileRows,
    ::testing::Values(FileRow{"HeaderCommentsAndSemicolons",
                              "# cable\nfrequency,dB\n1e6,1\n2e6;1.5\r\n", ""},
                      FileRow{"Unsorted", "1e6,1\n3e6,2\n2e6,1.5\n",
                              "line 3: the frequency does not rise above the line before it"},
                      FileRow{"RepeatedFrequency", "1e6,1\n1e6,2\n",
                              "line 2: the frequency does not rise above the line before it"},
                      FileRow{"BadNumber", "frequency,dB\n1e6,1\n2e6,1.5x\n",
                              "line 3: the value is not a number of dB from -200 to 200"},
                      FileRow{"WordAfterTheFirstPair", "1e6,1\nfrequency,dB\n",
                              "line 2: the frequency is not a number of Hz from 0 to 1e12"},
                      FileRow{"ThreeFields", "1e6,1,2\n", "line 1: expected \"frequency Hz, dB\""},
                      FileRow{"UnitAfterPairs", "1e6,1\nunit,dB/m\n",
                              "line 2: a \"unit\" line names dB or dB/m, before the first pair"},
                      FileRow{"Empty", "# nothing\n\n", "the file holds no points"}),
    test::kRowName);

struct FactorRow {
    const char* name;
    double hz;
    double db;
    bool inRange;
};

class TransducerFactorRows : public ::testing::TestWithParam<FactorRow> {};

// An antenna factor of 10 dB/m at 30 MHz rising to 20 dB/m at 230 MHz, then 18.
TEST_P(TransducerFactorRows, InterpolatesInsideAndFlagsOutside) {
    const FactorRow& row = GetParam();
    const auto parse = TransducerTable::FromText("unit, dB/m\n30e6,10\n230e6,20\n1e9,18\n");
    ASSERT_TRUE(parse.table);
    EXPECT_EQ(parse.table->Kind(), TransducerKind::kAntennaFactor);
    const TransducerFactor factor = parse.table->At(row.hz);
    EXPECT_DOUBLE_EQ(factor.db, row.db);
    EXPECT_EQ(factor.inRange, row.inRange);
}

INSTANTIATE_TEST_SUITE_P(Factors, TransducerFactorRows,
                         ::testing::Values(FactorRow{"FirstPoint", 30e6, 10.0, true},
                                           FactorRow{"Between", 80e6, 12.5, true},
                                           FactorRow{"MiddlePoint", 230e6, 20.0, true},
                                           FactorRow{"LastPoint", 1e9, 18.0, true},
                                           FactorRow{"BelowNotExtrapolated", 29e6, 0.0, false},
                                           FactorRow{"AboveNotExtrapolated", 2e9, 0.0, false}),
                         test::kRowName);

}  // namespace
}  // namespace tavlin
