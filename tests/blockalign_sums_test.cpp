// Block-layered sums: alignment counts, pair weights, the weighted pass
// against brute force and against the layer-rescaled arithmetic, and the
// overflow of related inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>

#include "blockalign/frame.hpp"
#include "blockalign/layered.hpp"
#include "blockalign/posterior.hpp"
#include "blockalign/random.hpp"
#include "blockalign/reference.hpp"
#include "blockalign/sampling.hpp"
#include "testutil.hpp"

using namespace xk;

namespace {

std::vector<float> random_exponents(int len1, int len2, unsigned seed, float lo, float hi) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> d(lo, hi);
  std::vector<float> x(static_cast<std::size_t>(len1) * static_cast<std::size_t>(len2));
  for (float& v : x) v = d(gen);
  return x;
}

// Z(k) for every k by walking every alignment of the model: M after
// anything, I after the start, M or I, D after anything.
std::vector<double> brute_force_sums(int len1, int len2, const std::vector<double>& w, int maxk) {
  std::vector<double> z(static_cast<std::size_t>(maxk) + 1, 0.0);
  enum { Start, M, I, D };
  std::function<void(int, int, int, int, double)> go = [&](int i, int j, int last, int k, double weight) {
    if (k > maxk) return;
    if (i == len1 && j == len2) z[static_cast<std::size_t>(k)] += weight;
    if (i < len1 && j < len2)
      go(i + 1, j + 1, M, last == M ? k : k + 1,
         weight * w[static_cast<std::size_t>(i) * static_cast<std::size_t>(len2) + static_cast<std::size_t>(j)]);
    if (i < len1 && last != D) go(i + 1, j, I, k, weight);
    if (j < len2) go(i, j + 1, D, k, weight);
  };
  go(0, 0, Start, 0, 1.0);
  return z;
}

// Pair scores in bits from the BLOSUM62 target frequencies:
// log2(q(a,b) / (p(a) p(b))), residue order "ACDEFGHIKLMNPQRSTVWY".
std::array<std::array<double, 20>, 20> blosum_bits() {
  std::ifstream in(xktest::source_path("data/blosum62_joint.tsv"));
  EXPECT_TRUE(in) << "the bundled BLOSUM62 table data/blosum62_joint.tsv is missing";
  std::string line, order;
  std::vector<std::vector<double>> q;
  std::vector<double> bg;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    std::string head;
    s >> head;
    if (head == "aa") {
      std::string c;
      while (s >> c) order += c;
      continue;
    }
    std::vector<double> row;
    double v;
    while (s >> v) row.push_back(v);
    if (head == "bg") bg = row; else q.push_back(row);
  }
  std::array<std::array<double, 20>, 20> bits{};
  const std::string ours = "ACDEFGHIKLMNPQRSTVWY";
  for (std::size_t a = 0; a < 20; ++a) {
    for (std::size_t b = 0; b < 20; ++b) {
      const std::size_t x = order.find(ours[a]), y = order.find(ours[b]);
      bits[a][b] = std::log2(q[x][y] / (bg[x] * bg[y]));
    }
  }
  return bits;
}

}  // namespace

TEST(BlockCounts, HandWorkedTotals) {
  EXPECT_EQ(count_alignments(10, 10, 1), (std::vector<double>{1, 385}));
  EXPECT_EQ(count_alignments(12, 10, 1), (std::vector<double>{1, 495}));
  EXPECT_EQ(count_alignments(20, 20, 2), (std::vector<double>{1, 2870, 599697}));
  EXPECT_EQ(count_alignments(5, 3, 0), (std::vector<double>{1}));
  EXPECT_EQ(count_alignments(1, 1, 1), (std::vector<double>{1, 1}));
  // One block: sum over block lengths L of (len1 - L + 1)(len2 - L + 1).
  for (auto [n1, n2] : {std::pair{13, 17}, {31, 8}, {7, 7}}) {
    double expected = 0;
    for (int L = 1; L <= std::min(n1, n2); ++L) expected += double(n1 - L + 1) * double(n2 - L + 1);
    EXPECT_EQ(count_alignments(n1, n2, 1)[1], expected) << n1 << " x " << n2;
  }
}

TEST(BlockCounts, AgreeWithEveryAlignmentOfTheModel) {
  const int n1 = 4, n2 = 5;
  const std::vector<double> ones(n1 * n2, 1.0);
  EXPECT_EQ(count_alignments(n1, n2, 4), brute_force_sums(n1, n2, ones, 4));
}

TEST(RowFactors, PowersOfTwoDownAreLdexpToTheBit) {
  // Normal, subnormal, rounded away and far below: every exponent the sums
  // can ask for, down to the empty rows' sentinel.
  for (int e = 0; e >= -1200; --e) {
    const double want = e < -1100 ? 0.0 : std::ldexp(1.0, e);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(pow2_down(e)), std::bit_cast<std::uint64_t>(want)) << "2^" << e;
  }
  EXPECT_EQ(pow2_down(std::numeric_limits<int>::min() / 2), 0.0);
}

TEST(BlockLimit, TenthOfTheShorterCappedAtTwenty) {
  EXPECT_EQ(block_limit(9, 500), 0);
  EXPECT_EQ(block_limit(500, 9), 0);
  EXPECT_EQ(block_limit(0, 0), 0);
  EXPECT_EQ(block_limit(10, 10), 1);
  EXPECT_EQ(block_limit(120, 95), 9);
  EXPECT_EQ(block_limit(250, 400), 20);
  EXPECT_EQ(block_limit(400, 250), 20);
  EXPECT_EQ(block_limit(209, 219), 20);
}

TEST(PairWeights, SinglePrecisionPowerOfTwoKeptInDouble) {
  std::vector<float> x;
  for (int n = -125000; n <= 127000; n += 7) x.push_back(static_cast<float>(n) * 0.001f);
  for (float v : random_exponents(50, 50, 3, -40.0f, 40.0f)) x.push_back(v);
  const std::vector<double> fast = pair_weights(x), ref = reference::pair_weights(x);
  for (std::size_t c = 0; c < x.size(); ++c) {
    ASSERT_NEAR(fast[c] / ref[c], 1.0, 0x1p-23) << "2^" << x[c];
    ASSERT_EQ(static_cast<double>(static_cast<float>(fast[c])), fast[c]);  // a single-precision value
  }
  EXPECT_EQ(pair_weights(std::vector<float>{0.0f, 1.0f, -1.0f, 5.0f}), (std::vector<double>{1.0, 2.0, 0.5, 32.0}));
  // Beyond the single range: no infinity, no zero; absurd exponents clamp.
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(pair_weights(std::vector<float>{200.0f, -200.0f, 1e6f, -inf, inf, nan}),
            (std::vector<double>{0x1p200, 0x1p-200, 0x1p300, 0x1p-300, 0x1p300, 0x1p-300}));
}

TEST(WeightedPass, CornerSumsAreTheWeightedSumsOverAlignments) {
  const int n1 = 4, n2 = 5;
  const std::vector<float> x = random_exponents(n1, n2, 11, -3.0f, 3.0f);
  const std::vector<double> w = pair_weights(x);
  const std::vector<double> z = brute_force_sums(n1, n2, w, 4);
  const LayeredSums s = weighted_pass(n1, n2, 4, w);
  EXPECT_EQ(s.log_z[0], 0.0);
  for (int k = 1; k <= 3; ++k) EXPECT_NEAR(s.log_z[k], std::log(z[k]), 1e-12) << k;
  // Four blocks do not fit into 4 and 5 positions.
  EXPECT_EQ(z[4], 0.0);
  EXPECT_EQ(s.log_z[4], -std::numeric_limits<double>::infinity());
}

TEST(WeightedPass, NoBlocksLeavesOnlyTheUnalignedLayer) {
  const std::vector<double> w(9 * 40, 2.0);
  const LayeredSums s = weighted_pass(9, 40, 0, w);
  EXPECT_EQ(s.log_z, std::vector<double>{0.0});
  EXPECT_EQ(s.M.size(), 10u * 41u);
  EXPECT_EQ(s.D[s.cell(9, 40, 0)], 1.0);
  EXPECT_EQ(s.I[s.cell(9, 40, 0)], 0.0);
}

TEST(WeightedPass, ZeroExponentsGiveTheCountRatiosAndAUniformPosterior) {
  const int n1 = 30, n2 = 24, K = 2;
  const std::vector<float> x(n1 * n2, 0.0f);
  const LayeredSums s = weighted_pass(n1, n2, K, pair_weights(x));
  const std::vector<double> total = count_alignments(n1, n2, K);
  for (int k = 1; k <= K; ++k) EXPECT_NEAR(std::exp(s.log_ratio(k)) / (total[k] / total[k - 1]), 1.0, 1e-12);
  const std::vector<double> logP = mean_log_weights(s.log_z, total);
  const std::vector<double> pK = block_probabilities(logP);
  for (int k = 0; k <= K; ++k) {
    EXPECT_NEAR(logP[k], 0.0, 1e-12);
    EXPECT_NEAR(pK[k], 1.0 / (K + 1), 1e-12);
  }
}

// Where the layer-rescaled arithmetic does not overflow, the row-rescaled
// tables give the same counts, posterior, step probabilities and samples.
TEST(WeightedPass, MatchesTheLayerRescaledArithmetic) {
  struct Case { int n1, n2, K; float lo, hi; };
  for (const Case c : {Case{23, 31, 3, -3.0f, 2.0f}, Case{40, 12, 1, -1.0f, 4.0f}, Case{35, 36, 5, -6.0f, 6.0f},
                       Case{60, 50, 5, 1.0f, 9.0f}, Case{70, 66, 20, -2.0f, 3.0f}}) {
    SCOPED_TRACE(testing::Message() << c.n1 << " x " << c.n2 << " K " << c.K);
    const std::vector<float> x = random_exponents(c.n1, c.n2, static_cast<unsigned>(c.n1 * 7 + c.n2), c.lo, c.hi);
    // The same weights for both (the two powers of 2 may differ in the last bit).
    const std::vector<double> w = pair_weights(x);
    const reference::BlockTables ref = reference::block_sums(c.n1, c.n2, c.K, std::span<const double>(w));
    const LayeredSums s = weighted_pass(c.n1, c.n2, c.K, w, nullptr, VectorPath::plain);
    // Every vector path gives the plain path's sums to the bit.
    for (VectorPath path : usable_vector_paths()) {
      const LayeredSums v = weighted_pass(c.n1, c.n2, c.K, w, nullptr, path);
      auto same = [](const DoubleTable& p, const DoubleTable& q) {
        return p.size() == q.size() && std::equal(p.data(), p.data() + p.size(), q.data());
      };
      EXPECT_TRUE(same(v.M, s.M) && same(v.I, s.I) && same(v.D, s.D)) << vector_path_name(path);
      EXPECT_EQ(v.row_exp, s.row_exp) << vector_path_name(path);
      EXPECT_EQ(v.log_z, s.log_z) << vector_path_name(path);
    }
    const std::vector<double> total = count_alignments(c.n1, c.n2, c.K);
    EXPECT_EQ(total, ref.totalcount);
    if (c.lo >= 1.0f) {  // rows grow by more than 2^64 here: the row factors are in use
      EXPECT_GT(*std::max_element(s.row_exp.begin(), s.row_exp.end()), 0);
    }

    double acc = 0.0;
    for (int k = 1; k <= c.K; ++k) {
      acc += std::log(ref.first_count[k]);
      EXPECT_NEAR(s.log_z[k], acc, 1e-10 * std::max(1.0, std::abs(acc)));
      EXPECT_NEAR(s.log_ratio(k), std::log(ref.first_count[k]), 1e-10 * std::max(1.0, std::abs(acc)));
    }
    // Every stored entry, with its row factor, is the layer-scaled entry:
    // stored * 2^row_exp / Z(k) for layers k >= 1, as stored for layer 0.
    for (int k = 0; k <= c.K; ++k) {
      for (int i = 0; i <= c.n1; ++i) {
        const int e = s.exponent(i, k);
        for (int j = 0; j <= c.n2; ++j) {
          for (auto [got, want] : {std::pair{&s.M, &ref.M}, {&s.I, &ref.I}, {&s.D, &ref.D}}) {
            const double g = (*got)[s.cell(i, j, k)], r = (*want)[ref.at(i, j, k)];
            if (e == kZeroRow) {
              ASSERT_EQ(g, 0.0);
              ASSERT_EQ(r, 0.0);
              continue;
            }
            const double scaled = k == 0 ? g : std::exp(std::log(g) + e * std::log(2.0) - s.log_z[k]);
            ASSERT_NEAR(scaled, r, 1e-11 * r + 1e-300) << i << ' ' << j << ' ' << k;
          }
        }
      }
    }

    std::vector<double> ref_logP, ref_pK;
    reference::block_posterior(ref, ref_logP, ref_pK);
    const std::vector<double> logP = mean_log_weights(s.log_z, total);
    const std::vector<double> pK = block_probabilities(logP);
    for (int k = 0; k <= c.K; ++k) {
      EXPECT_NEAR(logP[k], ref_logP[k], 1e-9 * std::max(1.0, std::abs(ref_logP[k])));
      EXPECT_NEAR(pK[k], ref_pK[k], 1e-12);
    }

    for (int kk = 1; kk <= c.K; ++kk) {
      for (int i = 1; i <= c.n1; ++i) {
        for (int j = 1; j <= c.n2; ++j) {
          for (Last last : {Last::None, Last::Match, Last::Insert, Last::Delete}) {
            const Odds want = reference::predecessor_odds(ref, i, j, kk, last);
            if (!want.valid) continue;
            const Odds got = predecessor_odds(s, i, j, kk, last);
            ASSERT_TRUE(got.valid);
            ASSERT_NEAR(got.pM, want.pM, 1e-12) << i << ' ' << j << ' ' << kk;
            ASSERT_NEAR(got.pI, want.pI, 1e-12) << i << ' ' << j << ' ' << kk;
          }
        }
      }
    }

    UniformRandom r1 = initrand(42), r2 = initrand(42);
    EXPECT_EQ(sample_match(s, pK, r1), reference::sample_match(ref, ref_pK, r2));
  }
}

// Two identical 400-position inputs with BLOSUM62 scores: the weight of the
// diagonal is about 2^2400, far beyond the double range.
TEST(WeightedPass, NoOverflowForIdenticalInputs) {
  const auto bits = blosum_bits();
  const int n = 400;
  std::mt19937 gen(5);
  std::uniform_int_distribution<int> residue(0, 19);
  std::vector<int> seq(n);
  for (int& r : seq) r = residue(gen);
  std::vector<float> x(static_cast<std::size_t>(n) * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) x[static_cast<std::size_t>(i) * n + j] = static_cast<float>(2.0 * bits[seq[i]][seq[j]]);

  // The layer-rescaled arithmetic already overflows at 200 positions.
  {
    std::vector<float> head(200 * 200);
    for (int i = 0; i < 200; ++i)
      for (int j = 0; j < 200; ++j) head[static_cast<std::size_t>(i) * 200 + j] = x[static_cast<std::size_t>(i) * n + j];
    EXPECT_TRUE(std::isinf(reference::block_sums(200, 200, 1, head).first_count[1]));
  }

  const int K = block_limit(n, n);
  ASSERT_EQ(K, 20);
  const LayeredSums s = weighted_pass(n, n, K, pair_weights(x));
  const std::vector<double> total = count_alignments(n, n, K);
  const std::vector<double> logP = mean_log_weights(s.log_z, total);
  const std::vector<double> pK = block_probabilities(logP);
  for (int k = 0; k <= K; ++k) {
    ASSERT_TRUE(std::isfinite(logP[k])) << k;
    ASSERT_TRUE(std::isfinite(pK[k])) << k;
  }
  EXPECT_GT(s.log_z[1], 1000.0 * std::log(2.0));  // the diagonal alone
  EXPECT_GT(pK[1], 0.5);
  EXPECT_EQ(pK[0], 0.0);

  UniformRandom rng = initrand(7);
  const std::vector<float> match = sample_match(s, pK, rng);
  double diagonal = 0.0;
  for (int i = 0; i < n; ++i) diagonal += match[static_cast<std::size_t>(i) * n + i];
  EXPECT_GT(diagonal / n, 0.95);
}
