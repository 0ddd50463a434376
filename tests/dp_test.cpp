// The local affine-gap aligner: hand-worked cases, and the two-column
// aligner against the full-table one.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>

#include "scoring/dp.hpp"
#include "scoring/dp_columns.hpp"
#include "testutil.hpp"

using namespace xk;

namespace {

constexpr float kGo = 21.0f, kGe = 0.4f;

// Runs both aligners, the fast one on every vector path this processor
// runs and with S by rows and by columns; they must agree entirely.
DpResult both(int n1, int n2, const std::vector<float>& s, float go = kGo, float ge = kGe) {
  const DpResult ref = reference::dp(n1, n2, go, ge, s);
  const std::vector<float> by_columns = xktest::by_columns(s, n1, n2);
  for (VectorPath path : usable_vector_paths())
    for (const bool columns : {false, true}) {
      const DpResult fast =
          columns ? dp_by_columns(n1, n2, go, ge, by_columns, path) : dp(n1, n2, go, ge, s, path);
      const std::string where = std::string(vector_path_name(path)) + (columns ? " by columns" : " by rows");
      EXPECT_EQ(fast.path, ref.path) << where;
      EXPECT_EQ(fast.n1, ref.n1) << where;
      EXPECT_EQ(fast.n2, ref.n2) << where;
      EXPECT_EQ(fast.score, ref.score) << where;
    }
  return ref;
}

// n1 x n2 scores, `fill` everywhere, then the listed cells (from 1).
std::vector<float> scores(int n1, int n2, float fill, std::initializer_list<std::tuple<int, int, float>> cells) {
  std::vector<float> s(static_cast<std::size_t>(n1 * n2), fill);
  for (auto [i, j, v] : cells) s[static_cast<std::size_t>((i - 1) * n2 + (j - 1))] = v;
  return s;
}

std::string padded(const std::string& s, int n) { return s + std::string(static_cast<std::size_t>(n) - s.size(), ' '); }

}  // namespace

TEST(Dp, WorkedThreeByThree) {
  const DpResult r = both(3, 3, scores(3, 3, -10.0f, {{2, 2, 5.0f}, {3, 3, 5.0f}}));
  EXPECT_EQ(r.path, "MMME  ");
  EXPECT_EQ(r.n1, 3);
  EXPECT_EQ(r.n2, 3);
  EXPECT_EQ(r.score, 10);
}

TEST(Dp, AllNegativeEndsInTheCornerCell) {
  const DpResult r = both(4, 3, scores(4, 3, -1.5f, {}));
  EXPECT_EQ(r.path, padded("D", 7));
  EXPECT_EQ(r.n1, 1);
  EXPECT_EQ(r.n2, 1);
  EXPECT_EQ(r.score, 0);
}

TEST(Dp, OneByOneAndTruncation) {
  DpResult r = both(1, 1, {5.5f});
  EXPECT_EQ(r.path, "MM");
  EXPECT_EQ(r.n1, 2);
  EXPECT_EQ(r.n2, 2);
  EXPECT_EQ(r.score, 5);
  EXPECT_EQ(both(1, 1, {7.9f}).score, 7);
  EXPECT_EQ(both(1, 1, {8.0f}).score, 8);
}

TEST(Dp, EmptyInputs) {
  for (auto [n1, n2] : {std::pair{0, 0}, std::pair{0, 3}, std::pair{2, 0}}) {
    const DpResult r = both(n1, n2, {});
    EXPECT_EQ(r.path, n1 + n2 ? padded("D", n1 + n2) : "");
    EXPECT_EQ(r.n1, 1);
    EXPECT_EQ(r.n2, 1);
    EXPECT_EQ(r.score, 0);
  }
}

TEST(Dp, GapOfThreeCostsOpeningPlusTwoExtensions) {
  // Positions 3..5 of the first input sit against a gap between the matched
  // pairs (1,1), (2,2) and (6,3), (7,4): 4 x 30 - (21 + 2 x 0.4).
  const auto s = scores(7, 4, -50.0f, {{1, 1, 30.0f}, {2, 2, 30.0f}, {6, 3, 30.0f}, {7, 4, 30.0f}});
  DpResult r = both(7, 4, s);
  EXPECT_EQ(r.path, padded("MMIIIMMM", 11));
  EXPECT_EQ(r.n1, 2);
  EXPECT_EQ(r.n2, 2);
  EXPECT_EQ(r.score, 98);  // 98.2
  // The same with the inputs' roles swapped: a deletion run.
  std::vector<float> t(s.size());
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 4; ++j) t[static_cast<std::size_t>(j * 7 + i)] = s[static_cast<std::size_t>(i * 4 + j)];
  r = both(4, 7, t);
  EXPECT_EQ(r.path, padded("MMDDDMMM", 11));
  EXPECT_EQ(r.score, 98);
}

TEST(Dp, StretchInsideUnrelatedInputs) {
  // Positions 4..8 of the first input match 6..10 of the second.
  std::vector<float> s(12 * 14, -5.0f);
  for (int k = 0; k < 5; ++k) s[static_cast<std::size_t>((3 + k) * 14 + (5 + k))] = 3.0f;
  const DpResult r = both(12, 14, s);
  EXPECT_EQ(r.path, padded("MMMMMME", 26));
  EXPECT_EQ(r.n1 - 1, 4);
  EXPECT_EQ(r.n2 - 1, 6);
  EXPECT_EQ(r.score, 15);
}

TEST(Dp, EqualBestsGoToTheLowerColumnThenRow) {
  // (2,1) and (1,2) both hold the best 5: column 1 comes first.
  DpResult r = both(2, 2, scores(2, 2, -10.0f, {{2, 1, 5.0f}, {1, 2, 5.0f}}));
  EXPECT_EQ(r.n1, 3);
  EXPECT_EQ(r.n2, 2);
  // Within a column, the lower row.
  r = both(2, 1, {5.0f, 5.0f});
  EXPECT_EQ(r.n1, 2);
  EXPECT_EQ(r.n2, 2);
}

TEST(Dp, AgreesWithFullTablesOnRandomInputs) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> len(1, 45), small(-8, 6);
  std::uniform_real_distribution<float> real(-12.0f, 9.0f);
  for (int round = 0; round < 60; ++round) {
    // The last rounds are wide: the aligner turns S around 64 columns at a
    // time.
    const int n1 = len(rng), n2 = round >= 54 ? 60 + 15 * (round - 54) : len(rng);
    std::vector<float> s(static_cast<std::size_t>(n1 * n2));
    // Half the rounds on a coarse grid, so that ties are everywhere.
    for (float& x : s) x = round % 2 ? static_cast<float>(small(rng)) * 2.5f : real(rng);
    const float go = round % 3 == 0 ? 3.0f : kGo, ge = round % 3 == 0 ? 0.5f : kGe;
    both(n1, n2, s, go, ge);
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round << " n1 " << n1 << " n2 " << n2;
      break;
    }
  }
}

TEST(Dp, InsertionColumnHoldsTheOneByOneValuesToTheBit) {
  // The insertion column taken four rows at a time against the defining
  // recurrence, on values where every "- ge" rounds (ge = 0.4 has no exact
  // binary form) and long extension runs cross the four-row steps.
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> m(-300.0f, 3000.0f);
  for (int rows : {1, 3, 4, 5, 37, 400}) {
    std::vector<float> mcur(static_cast<std::size_t>(rows) + 1), icur(mcur.size()), want(mcur.size());
    for (float& x : mcur) x = rng() % 3 == 0 ? m(rng) * 1.0001f : -2147483648.0f + m(rng);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows), 0), want_out(out.size(), 0);
    icur[0] = want[0] = m(rng);
    dp_detail::fill_i(static_cast<std::size_t>(rows), mcur.data(), icur.data(), out.data(), kGo, kGe, 0.0f);
    for (int i = 1; i <= rows; ++i) {
      const float io = mcur[static_cast<std::size_t>(i) - 1] - kGo, ie = want[static_cast<std::size_t>(i) - 1] - kGe;
      want[static_cast<std::size_t>(i)] = io >= ie ? io : ie;
      want_out[static_cast<std::size_t>(i) - 1] = want[static_cast<std::size_t>(i)] != io ? 4 : 0;
    }
    for (int i = 1; i <= rows; ++i)
      ASSERT_EQ(std::bit_cast<std::uint32_t>(icur[static_cast<std::size_t>(i)]),
                std::bit_cast<std::uint32_t>(want[static_cast<std::size_t>(i)]))
          << rows << " rows, row " << i;
    EXPECT_EQ(out, want_out) << rows;
  }
}
