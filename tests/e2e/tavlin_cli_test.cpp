// tavlin-cli as a user runs it: a separate process, its output and exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class TavlinCliTest : public ::testing::Test {
  protected:
    TavlinCliTest() {
        workDir = std::filesystem::temp_directory_path() /
                  ("tavlin-cli-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(workDir);
    }
    ~TavlinCliTest() override { std::filesystem::remove_all(workDir); }

    RunResult Run(const std::string& arguments) {
        const auto errPath = workDir / "stderr.txt";
        const std::string command = "cd '" + workDir.string() + "' && '" TAVLIN_CLI_PATH "' " +
                                    arguments + " 2>'" + errPath.string() + "'";
        RunResult result;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return result;
        }
        std::array<char, 4096> buffer{};
        std::size_t n = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
            result.out.append(buffer.data(), n);
        }
        const int status = ::pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream err(errPath);
        result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
        return result;
    }
    static std::string Scene(const char* name) {
        return std::string(TAVLIN_SOURCE_DIR) + "/scenes/" + name;
    }

    std::filesystem::path workDir;
};

TEST_F(TavlinCliTest, InfoPrintsTheUnitsIdentity) {
    const RunResult r = Run("--simulate='" + Scene("default.json") + "' --info");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Serial: TV000123\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Firmware: Tavlin 2.03\n"), std::string::npos);
    EXPECT_NE(r.out.find("Preamp: yes\n"), std::string::npos);
    EXPECT_NE(r.out.find("Cal date: "), std::string::npos);
    EXPECT_NE(r.out.find("TCXO: 1200 ppb\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(workDir / "TV000123.kvo"))
        << "the table is cached in the working directory";
}

TEST_F(TavlinCliTest, MalformedSceneIsRefusedWithItsNameAndTheProblem) {
    std::ofstream(workDir / "broken.json") << "{ \"signals\": [ {\"freq_hz\": \"high\"} ] }";
    const RunResult r = Run("--simulate=broken.json --info");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("broken.json"), std::string::npos) << r.err;
}

TEST_F(TavlinCliTest, WithoutAnInstrumentTheProgramSaysSoAndEndsInOrder) {
    const RunResult r = Run("--info");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ERROR 1-TAVLIN NOT FOUND: PLEASE CONNECT TAVLIN NOW"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("ERROR 1: TAVLIN NOT FOUND"), std::string::npos);
}

TEST_F(TavlinCliTest, UnknownOptionIsAUsageError) {
    const RunResult r = Run("--frobnicate");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("usage"), std::string::npos);
}

}  // namespace
