// Named working tables: a creation that cannot be had is the fatal stop
// that names the table; large tables come in whole large pages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/large_pages.hpp"
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

TEST(MakeScratchTable, ImpossibleSizeStopsNamingTheTable) {
  try {
    (void)xk::make_scratch_table<float>(std::size_t{1} << 62, "align matrix");
    FAIL() << "no stop";
  } catch (const xk::FatalStop& e) {
    EXPECT_STREQ(e.what(), "ERROR: Allocating align matrix!!!");
  }
}

TEST(TableMemory, LargeBlocksComeInWholeLargePages) {
  constexpr std::size_t kFrom = std::size_t{256} << 10;
  struct Case {
    std::size_t bytes, align;
  } cases[] = {{0, 64}, {1, 64}, {kFrom - 1, 64}, {kFrom, xk::kLargePage}, {xk::kLargePage + 1, xk::kLargePage}};
  for (const Case& c : cases) {
    void* p = xk::allocate_table_memory(c.bytes, kFrom);
    ASSERT_NE(p, nullptr) << c.bytes;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % c.align, 0u) << c.bytes;
    std::memset(p, 1, c.bytes);  // every requested byte is there
    std::free(p);
  }
  EXPECT_EQ(xk::allocate_table_memory(static_cast<std::size_t>(-1) - 10, kFrom), nullptr);
  // Through a container: a posterior table of 300 positions.
  std::vector<double, xk::LargePageAllocator<double>> v(300 * 282, 0.5);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(v.data()) % xk::kLargePage, 0u);
  EXPECT_EQ(v.back(), 0.5);
}
