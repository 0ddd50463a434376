// Named working tables: a creation that cannot be had is the fatal stop
// that names the table.
#include <gtest/gtest.h>

#include "common/table.hpp"

TEST(MakeTable, FilledToTheGivenValue) {
  const std::vector<float> t = xk::make_table<float>(5, "align matrix", -1.0f);
  EXPECT_EQ(t, std::vector<float>(5, -1.0f));
  EXPECT_TRUE(xk::make_table<double>(0, "pK").empty());
}

TEST(MakeTable, ImpossibleSizeStopsNamingTheTable) {
  const std::size_t too_many = std::vector<float>().max_size() + 1;
  try {
    (void)xk::make_table<float>(too_many, "align matrix");
    FAIL() << "no stop";
  } catch (const xk::FatalStop& e) {
    EXPECT_STREQ(e.what(), "ERROR: Allocating align matrix!!!");
  }
}
