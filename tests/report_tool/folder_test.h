// A test fixture with a fresh folder of its own.
#ifndef PROPSMOOTH_TESTS_REPORT_TOOL_FOLDER_TEST_H_
#define PROPSMOOTH_TESTS_REPORT_TOOL_FOLDER_TEST_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace propsmooth {

// A fresh folder for one test (named after the process and the test, so
// parallel runs of the same binary keep apart), removed with its files
// afterwards.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("propsmooth_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

}  // namespace propsmooth

#endif  // PROPSMOOTH_TESTS_REPORT_TOOL_FOLDER_TEST_H_
