#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

}  // namespace tavlin::test
