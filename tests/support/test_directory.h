#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tavlin::test {

// A fresh folder for the running test (calibration caches, state files),
// named after the process and the test so parallel runs never share one.
inline std::filesystem::path MakeTestDirectory(const std::string& prefix) {
    const auto path = std::filesystem::temp_directory_path() /
                      (prefix + "-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path);
    return path;
}

// The whole of a file; empty when it cannot be read.
inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    const std::string text = ReadFileText(path);
    return {text.begin(), text.end()};
}

}  // namespace tavlin::test
