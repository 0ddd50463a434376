// The bundled "observed" and "expected" through the scoring code: they load
// without a message, and with uniform gamma rows makemij gives scores
// close to BLOSUM62.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "scoring/frequencies.hpp"
#include "scoring/scores.hpp"
#include "testutil.hpp"

using namespace xk;

namespace {

constexpr std::string_view kOrder = "ACDEFGHIKLMNPQRSTVWY";

// BLOSUM62 half-bit scores round(2 log2(q(a,b) / (p(a) p(b)))) from the
// repository's copy of the joint frequencies, in the residue order.
std::vector<double> blosum_half_bits() {
  std::vector<double> q(400, 0.0), p(20, 0.0);
  std::vector<std::size_t> col;
  std::istringstream in(xktest::read_file(xktest::source_path("data/blosum62_joint.tsv")));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    std::string head;
    f >> head;
    if (head == "aa") {
      std::string c;
      while (f >> c) col.push_back(kOrder.find(c[0]));
      continue;
    }
    std::vector<double>& row = q;
    const std::size_t base = head == "bg" ? 0 : kOrder.find(head[0]) * 20;
    for (std::size_t k = 0; k < 20; ++k) {
      double v = 0.0;
      f >> v;
      if (head == "bg") p[col[k]] = v;
      else row[base + col[k]] = v;
    }
  }
  std::vector<double> s(400);
  for (std::size_t a = 0; a < 20; ++a) {
    for (std::size_t b = 0; b < 20; ++b) s[a * 20 + b] = std::round(2.0 * std::log2(q[a * 20 + b] / (p[a] * p[b])));
  }
  return s;
}

FrequencyTables bundled_tables() {
  return load_frequency_tables(xktest::source_path("data/observed"), xktest::source_path("data/expected"));
}

}  // namespace

TEST(BundledDataScoring, FilesLoadWithoutMessage) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const FrequencyTables t = bundled_tables();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(t.matrix1.size(), 20u * 20u * 281u);
  ASSERT_EQ(t.matrix2.size(), 20u * 281u);
  // Every state was read: each block sums to 1, each expected line is positive.
  for (int s = 1; s <= kScoredStates; ++s) {
    double block = 0.0, line = 0.0;
    for (int a = 1; a <= 20; ++a) {
      for (int b = 1; b <= 20; ++b) block += t.matrix1[m1_index(a, b, s)];
      line += t.matrix2[m2_index(a, s)];
    }
    EXPECT_NEAR(block, 1.0, 1e-5) << "state " << s;
    EXPECT_GT(line, 0.0) << "state " << s;
  }
}

TEST(BundledDataScoring, UniformGammaScoresFollowBlosum62) {
  FrequencyTables t = bundled_tables();
  const std::string seq(kOrder);
  std::vector<float> g1(20 * 282, 1.0f / 282.0f), g2 = g1, mij(400, 0.0f);
  makemij(20, 20, seq, seq, g1, g2, t, mij);
  const std::vector<double> blosum = blosum_half_bits();
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  for (std::size_t k = 0; k < 400; ++k) {
    const double x = 2.0 * mij[k], y = blosum[k];  // doubled, as the main program doubles
    sx += x;
    sy += y;
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
  }
  const double n = 400.0;
  const double r = (sxy - sx * sy / n) / std::sqrt((sxx - sx * sx / n) * (syy - sy * sy / n));
  // Learned from structure alignments, not from BLOSUM62: alike, not equal.
  EXPECT_GE(r, 0.9);
  for (std::size_t a = 0; a < 20; ++a) EXPECT_GT(mij[a * 20 + a], 0.0f) << kOrder[a] << kOrder[a];
  // Swapped letters score the same, up to single-precision rounding.
  for (std::size_t a = 0; a < 20; ++a) {
    for (std::size_t b = 0; b < 20; ++b) EXPECT_NEAR(mij[a * 20 + b], mij[b * 20 + a], 1e-4);
  }
}
