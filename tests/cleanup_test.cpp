#include "driver/cleanup.hpp"

#include <gtest/gtest.h>

#include <regex>

#include "testutil.hpp"

namespace {

using xk::driver::is_run_file_name;

TEST(Cleanup, RunFilesAreNodeNamesWithTheRunsExtensions) {
  EXPECT_TRUE(is_run_file_name("12.drct"));
  EXPECT_TRUE(is_run_file_name("1-3.gca"));
  EXPECT_FALSE(is_run_file_name("1.seq"));
  EXPECT_TRUE(is_run_file_name("1.seq", true));
  EXPECT_FALSE(is_run_file_name("1.drct.bak"));
  EXPECT_FALSE(is_run_file_name("1.gca~"));
  EXPECT_FALSE(is_run_file_name("myprotein.drct"));
  EXPECT_FALSE(is_run_file_name(".drct"));
  // Merged nodes' files carry the join's number.
  EXPECT_TRUE(is_run_file_name("j12.drct"));
  EXPECT_TRUE(is_run_file_name("j1.gca"));
  EXPECT_FALSE(is_run_file_name("j.drct"));
  EXPECT_FALSE(is_run_file_name("j01.gca"));
  EXPECT_FALSE(is_run_file_name("jx.gca"));
  EXPECT_FALSE(is_run_file_name("J3.drct"));
}

TEST(Cleanup, OnlyTheRunsOwnFilesAreRemoved) {
  xktest::TempDir dir;
  for (const char* f : {"1.drct", "1.gca", "12.drct", "2-1-3.gca", "7.gca", "myprotein.drct", "myprotein.gca",
                        "1a.drct", "1.drct.bak", "1.seq", "out.txt", "LOG"})
    xktest::write_file(dir.file(f), "x");
  std::filesystem::create_directory(dir.file("3.drct"));  // a folder is left alone
  EXPECT_EQ(xk::driver::remove_run_files(dir.path()), 5);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"1.drct.bak", "1.seq", "1a.drct", "3.drct", "LOG", "myprotein.drct",
                                            "myprotein.gca", "out.txt"}));
}

TEST(Cleanup, ElapsedLine) {
  EXPECT_TRUE(std::regex_match(xk::driver::elapsed_line(),
                               std::regex(R"( Elapsed: \d+\.\d{3} User: \d+\.\d{3} System: \d+\.\d{3}\n)")));
}

}  // namespace
