#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/test_directory.h"

namespace tavlin {
namespace {

// Only a regular file within its bound is read. A folder, a device that never
// ends, a FIFO with no writer (which would block an ordinary open for ever)
// and a file one byte too long are refused with a reason, and nothing is kept.
TEST(ReadWholeFileTest, ReadsARegularFileWithinItsBoundAndRefusesEverythingElse) {
    const auto dir = test::MakeTestDirectory("tavlin-read");
    std::ofstream(dir / "four") << "abcd";
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Row {
        std::filesystem::path path;
        std::size_t maxBytes;
        const char* reason;  // nullptr: read
    };
    const Row rows[] = {
        {dir / "four", 4, nullptr},
        {dir / "four", 3, "larger than 3 bytes"},
        {dir, 1 << 20, "not a regular file"},
        {"/dev/zero", 1 << 20, "not a regular file"},
        {dir / "fifo", 1 << 20, "not a regular file"},
        {dir / "missing", 1 << 20, "No such file"},
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> content{9, 9};
        std::string error;
        const bool read = ReadWholeFile(row.path, row.maxBytes, content, error);
        if (row.reason == nullptr) {
            EXPECT_TRUE(read) << row.path << ": " << error;
            EXPECT_EQ(content, (std::vector<std::uint8_t>{'a', 'b', 'c', 'd'}));
        } else {
            EXPECT_FALSE(read) << row.path;
            EXPECT_NE(error.find(row.reason), std::string::npos) << row.path << ": " << error;
        }
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tavlin
