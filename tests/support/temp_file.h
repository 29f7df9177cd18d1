// Files for tests that read from disk. ctest runs test cases in parallel
// processes, so each test case writes into a folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace velmora::testing {

// A path named `name` in a folder that belongs to the running test case. The
// folder is emptied when the test case first asks for it: process numbers come
// round again, and a folder an earlier run left under the same number would
// hand the test that run's files.
inline std::filesystem::path TestFilePath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string folder = std::string("velmora-") + std::to_string(getpid()) + "-" +
                             info->test_suite_name() + "." + info->name();
  const auto dir = std::filesystem::path(::testing::TempDir()) / folder;
  static std::string emptied;
  if (emptied != folder) {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    emptied = folder;
  }
  std::filesystem::create_directories(dir);
  return dir / name;
}

// Writes bytes to such a file and returns its path.
inline std::filesystem::path WriteTestFile(const std::string& name, const std::string& bytes) {
  const auto path = TestFilePath(name);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

}  // namespace velmora::testing
