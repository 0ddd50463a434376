// Block-number posterior, the generator and its seeding, sampled alignments.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>

#include "blockalign/layered.hpp"
#include "blockalign/posterior.hpp"
#include "blockalign/random.hpp"
#include "blockalign/sampling.hpp"

using namespace xk;

namespace {

LayeredSums random_sums(int n1, int n2, int K, unsigned seed, float lo, float hi) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  std::vector<float> x(static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2));
  for (float& v : x) v = d(gen);
  return weighted_pass(n1, n2, K, pair_weights(x));
}

}  // namespace

TEST(BlockPosterior, MeanLogWeights) {
  const double l2 = std::log(2.0);
  const std::vector<double> logP = mean_log_weights({{0.0, 10 * l2, 3 * l2}}, {{1.0, 4.0, 64.0}});
  EXPECT_EQ(logP[0], 0.0);
  EXPECT_NEAR(logP[1], 8 * l2, 1e-12);
  EXPECT_NEAR(logP[2], -3 * l2, 1e-12);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(mean_log_weights({{0.0, -inf}}, {{1.0, 5.0}})[1], -inf);
}

TEST(BlockPosterior, ThresholdIsFourBelowTheBest) {
  // best = 2, threshold = -2: -2 exactly keeps weight e^0 = 1, -2.5 gets 0.
  std::vector<double> pK = block_probabilities({{0.0, 2.0, -2.0, -2.5}});
  const double S = std::exp(2.0) + std::exp(4.0) + 1.0;
  EXPECT_DOUBLE_EQ(pK[0], std::exp(2.0) / S);
  EXPECT_DOUBLE_EQ(pK[1], std::exp(4.0) / S);
  EXPECT_DOUBLE_EQ(pK[2], 1.0 / S);
  EXPECT_EQ(pK[3], 0.0);
  // Every k >= 1 below -4: all the probability on no blocks.
  EXPECT_EQ(block_probabilities({{0.0, -4.01, -30.0}}), (std::vector<double>{1.0, 0.0, 0.0}));
  // The best is never below logP(0) = 0, and -infinity (an empty layer) gets 0.
  EXPECT_EQ(block_probabilities({{0.0, -std::numeric_limits<double>::infinity()}}), (std::vector<double>{1.0, 0.0}));
  EXPECT_EQ(block_probabilities({{0.0}}), std::vector<double>{1.0});
}

TEST(UniformRandom, SeedingAndDraws) {
  UniformRandom a = initrand(12345), b = initrand(12345), c = initrand(12346), z = initrand(0);
  bool differs = false, zero_varies = false;
  float first_zero = z.uniform();
  for (int n = 0; n < 10000; ++n) {
    const float r = a.uniform();
    ASSERT_EQ(r, b.uniform());
    differs |= r != c.uniform();
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
    ASSERT_EQ(r * 0x1p24f, std::floor(r * 0x1p24f));
    zero_varies |= z.uniform() != first_zero;
  }
  EXPECT_TRUE(differs);
  EXPECT_TRUE(zero_varies);  // a seed of 0 (second 0, millisecond 0) is a working seed
  // initrand discards one draw after seeding.
  UniformRandom raw(777);
  raw.uniform();
  UniformRandom seeded = initrand(777);
  EXPECT_EQ(raw.uniform(), seeded.uniform());
}

TEST(UniformRandom, MatchesThePublishedPcg32Sequence) {
  // The reference generator's demonstration output for seed words 42, 54.
  UniformRandom g(42, 54);
  for (std::uint32_t expected : {0xa15c02b7u, 0x7b47f409u, 0xba1d3330u, 0x83d2f293u, 0xbfa4784bu, 0xcbed606eu})
    EXPECT_EQ(g.next_bits(), expected);
  // One seed value fills both words; a uniform number is the top 24 bits.
  UniformRandom one(7), both(7, 7);
  EXPECT_EQ(one.next_bits(), both.next_bits());
  EXPECT_EQ(one.uniform(), static_cast<float>(both.next_bits() >> 8) * 0x1p-24f);
}

TEST(UniformRandom, ClockSeedIsSecondOfMinuteAndMillisecond) {
  using namespace std::chrono;
  const system_clock::time_point t = system_clock::from_time_t(1700000000) + milliseconds(1234);
  // 1700000000 is 22:13:20 UTC; zones differ from UTC by whole minutes here.
  EXPECT_EQ(clock_seed_value(t), 21234u);
  EXPECT_EQ(clock_seed_value(t + minutes(1)), clock_seed_value(t));
  EXPECT_EQ(clock_seed_value(t + hours(5) + minutes(7)), clock_seed_value(t));
  EXPECT_EQ(clock_seed_value(t + milliseconds(1)), 21235u);
  EXPECT_EQ(clock_seed_value(system_clock::from_time_t(1700000039) + milliseconds(999)), 59999u);
  EXPECT_LT(clock_seed_value(system_clock::now()), 60000u);
}

TEST(BlockSampling, DrawBlockNumber) {
  const std::vector<double> pK{0.25, 0.0, 0.5, 0.25};
  EXPECT_EQ(draw_block_number(pK, 0.0f), 0);
  EXPECT_EQ(draw_block_number(pK, 0.2499f), 0);
  EXPECT_EQ(draw_block_number(pK, 0.25f), 2);
  EXPECT_EQ(draw_block_number(pK, 0.7499f), 2);
  EXPECT_EQ(draw_block_number(pK, 0.75f), 3);
  // Rounding leaves the sum short of r: no hit, no blocks.
  EXPECT_EQ(draw_block_number(std::vector<double>{0.5, 0.4999}, 0.99995f), 0);
}

TEST(BlockSampling, PathsFollowTheModel) {
  const int n1 = 37, n2 = 29, K = 4;
  const LayeredSums s = random_sums(n1, n2, K, 8, -4.0f, 4.0f);
  const std::vector<double> pK(K + 1, 1.0 / (K + 1));  // every block number, to walk every layer
  UniformRandom rng = initrand(99);
  int with_blocks = 0;
  for (int n = 0; n < 2000; ++n) {
    const SampledAlignment a = sample_alignment(s, pK, rng);
    int i = n1, j = n2, runs = 0;
    for (std::size_t t = 0; t < a.steps.size(); ++t) {
      const Step step = a.steps[t];
      if (t > 0) {
        // Backwards, the step before an I is never a D.
        ASSERT_FALSE(a.steps[t - 1] == Step::Insert && step == Step::Delete);
      }
      if (step == Step::Match && (t == 0 || a.steps[t - 1] != Step::Match)) ++runs;
      i -= step != Step::Delete;
      j -= step != Step::Insert;
      ASSERT_GE(i, 0);
      ASSERT_GE(j, 0);
    }
    // The walk ends exactly when the drawn number of blocks is used up.
    ASSERT_EQ(runs, a.blocks);
    if (a.blocks == 0) {
      ASSERT_TRUE(a.steps.empty());
    }
    with_blocks += a.blocks > 0;
  }
  EXPECT_GT(with_blocks, 1000);
}

TEST(BlockSampling, MatchFractionsOfAThousandAtMostOnePerRowAndColumn) {
  const int n1 = 45, n2 = 52, K = 4;
  const LayeredSums s = random_sums(n1, n2, K, 21, -3.0f, 5.0f);
  const std::vector<double> pK(K + 1, 0.2);
  UniformRandom r1 = initrand(5), r2 = initrand(5);
  const std::vector<float> match = sample_match(s, pK, r1);
  EXPECT_EQ(match, sample_match(s, pK, r2));
  std::vector<double> rows(n1, 0.0), cols(n2, 0.0);
  double total = 0;
  for (int i = 0; i < n1; ++i) {
    for (int j = 0; j < n2; ++j) {
      const float m = match[static_cast<std::size_t>(i) * n2 + j];
      const float n = std::round(m * 1000.0f);
      ASSERT_EQ(m, n / 1000.0f);
      rows[i] += m;
      cols[j] += m;
      total += m;
    }
  }
  for (double r : rows) EXPECT_LE(r, 1.0 + 1e-5);
  for (double c : cols) EXPECT_LE(c, 1.0 + 1e-5);
  EXPECT_GT(total, 1.0);
}

TEST(BlockSampling, NoBlocksNoMatches) {
  const LayeredSums s = random_sums(8, 30, 0, 3, -1.0f, 1.0f);
  UniformRandom rng = initrand(1);
  const std::vector<float> match = sample_match(s, std::vector<double>{1.0}, rng);
  EXPECT_EQ(match, std::vector<float>(8 * 30, 0.0f));
  // A posterior with all of its mass on k = 0 samples nothing either.
  const LayeredSums t = random_sums(20, 20, 2, 3, -1.0f, 1.0f);
  EXPECT_EQ(sample_match(t, std::vector<double>{1.0, 0.0, 0.0}, rng), std::vector<float>(400, 0.0f));
}
