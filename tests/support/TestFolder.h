// TestFolder.h: a fresh folder for one test, named after it, as the current directory of the
// program under test (which reads and writes its files there).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>

namespace quorlin::test {

// Makes <temp>/<prefix><pid>-<test name> afresh, empty, and the current directory; its path.
inline std::filesystem::path EnterFreshTestFolder(const std::string& prefix) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() /
                            (prefix + std::to_string(::getpid()) + "-" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
    return folder;
}

}  // namespace quorlin::test
