// What a remote client and the command line may name: file names from the
// network, and the servers' addresses and ports.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "remote/remote_file_name.h"
#include "remote/server_options.h"
#include "support/test_directory.h"

namespace tavlin {
namespace {

// A name from the network stays a plain name in the working directory and
// names a regular file or nothing; the console's own paths are its user's.
TEST(RemoteFileNameTest, OnlyPlainNamesOfRegularFilesHere) {
    const std::filesystem::path folder = test::MakeTestDirectory("tavlin-names");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    std::ofstream("state.pqz") << "x";
    std::filesystem::create_directory("folder");
    std::filesystem::create_symlink(before / "link-target", "link.pqz");
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    const struct {
        const char* name;
        bool allowed;
    } rows[] = {
        {"state.pqz", true}, {"new.pqz", true},  {"../x.pqz", false}, {"/tmp/x.pqz", false},
        {"folder/x", false}, {"folder", false},  {"..", false},       {"fifo", false},
        {"link.pqz", false}, {"a\\b.pqz", true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(IsAllowedFileName(row.name, FileNames::PlainNamesHere), row.allowed) << row.name;
    }
    EXPECT_TRUE(IsAllowedFileName("/tmp/x.pqz", FileNames::AnyPath));
    std::filesystem::current_path(before);
    std::filesystem::remove_all(folder);
}

TEST(ServerOptionsTest, AddressAndPortsFromTheCommandLine) {
    const auto automation = [](const char* argument) {
        const auto s = ParseAutomationOption(argument);
        return s ? s->address + " " + std::to_string(s->commandPort) + " " +
                       std::to_string(s->dataPort)
                 : "refused";
    };
    EXPECT_EQ(automation("--automation"), "127.0.0.1 3976 3977");
    EXPECT_EQ(automation("--automation=0.0.0.0:4000:0"), "0.0.0.0 4000 0");
    EXPECT_EQ(automation("--automation=::1:4000:4001"), "::1 4000 4001");
    EXPECT_EQ(automation("--automation=[::1]:4000:4001"), "::1 4000 4001");
    for (const char* refused : {"--automation=localhost:1:2", "--automation=127.0.0.1:1",
                                "--automation=127.0.0.1:1:70000", "--automation=1.2.3.4:x:2",
                                "--automations", "--automation="}) {
        EXPECT_EQ(automation(refused), "refused") << refused;
    }
    const auto scpi = ParseScpiOption("--scpi=10.0.0.5:5555");
    ASSERT_TRUE(scpi);
    EXPECT_EQ(scpi->address + " " + std::to_string(scpi->port), "10.0.0.5 5555");
    EXPECT_EQ(ParseScpiOption("--scpi")->port, 5025);
    EXPECT_FALSE(ParseScpiOption("--scpi=127.0.0.1:1:2"));
    EXPECT_EQ(ParseScpiIdleOption("--scpi-idle=0"), 0);
    EXPECT_EQ(ParseScpiIdleOption("--scpi-idle=600"), 600);
    for (const char* refused :
         {"--scpi-idle", "--scpi-idle=", "--scpi-idle=-1", "--scpi-idle=2s", "--scpi-idle=86401"}) {
        EXPECT_FALSE(ParseScpiIdleOption(refused)) << refused;
    }
}

}  // namespace
}  // namespace tavlin
