#include "common/names.hpp"

#include <gtest/gtest.h>

namespace {

using namespace xk;

TEST(FileNames, TheStemEndsAtTheFirstDotOfTheFilesOwnName) {
  EXPECT_EQ(file_stem("1-3.drct"), "1-3");
  EXPECT_EQ(file_stem("plain"), "plain");                // no dot: the whole name
  EXPECT_EQ(file_stem("a.b.drct"), "a");                 // several dots: the first
  EXPECT_EQ(file_stem("run.2/7.drct"), "run.2/7");       // a dot in a folder is no end
  EXPECT_EQ(file_stem("../run.2/plain"), "../run.2/plain");
  EXPECT_EQ(file_stem(".drct"), "");
  EXPECT_EQ(gamma_file_of("2 .drct"), "2 .gca");
  EXPECT_EQ(profile_file_of("12.seq"), "12.drct");
  EXPECT_EQ(without_trailing_blanks(" A.drct  "), " A.drct");
  EXPECT_EQ(without_trailing_blanks("   "), "");
}

TEST(FileNames, NodeNamesAreNumbersJoinedByDashes) {
  for (const char* ok : {"1", "12", "1-3", "2-1-3", "007"}) EXPECT_TRUE(is_node_name(ok)) << ok;
  for (const char* no : {"", "-", "1-", "-1", "1--2", "1a", "a1", "1_2", "1 2", "myprotein"})
    EXPECT_FALSE(is_node_name(no)) << no;
  EXPECT_EQ(joined_node_name("2-1", "3"), "2-1-3");
}

}  // namespace
