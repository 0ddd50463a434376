// The gamma file the tool writes: the fast "(F9.6)" fields, rows that sum
// to 1 after rounding, the RESIDUE and GAMMA layouts, and the round trip
// through the main program's readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "common/fixedwidth.hpp"
#include "localstructure/gamma_file.hpp"
#include "readers/gamma.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"

using namespace xk;
using namespace xk::ls;

namespace {

std::string units_text(long long units, int width, int decimals) {
  std::string s(static_cast<std::size_t>(width), '?');
  fw::put_fixed_units(s.data(), units, width, decimals);
  return s;
}

}  // namespace

TEST(FixedWidthUnits, SameTextAsFormatFixed) {
  std::vector<long long> values = {0, 1, -1, 5, -5, 9, 10, 99, 100, 999999, 1000000, -1000000, 1234567, 123456789};
  std::mt19937_64 rng(3);
  for (int k = 0; k < 300; ++k) values.push_back(static_cast<long long>(rng() % 20000000) - 10000000);
  for (long long u : values) {
    for (int d = 0; d <= 7; ++d) {
      for (int w = 1; w <= 12; ++w) {
        ASSERT_EQ(units_text(u, w, d), fw::format_fixed(static_cast<double>(u) / std::pow(10.0, d), w, d))
            << "units " << u << " width " << w << " decimals " << d;
      }
    }
  }
  // Every value a GAMMA field can hold, in steps.
  for (long long u = 0; u <= kMicro; u += 997) ASSERT_EQ(units_text(u, 9, 6), fw::format_fixed(static_cast<double>(u) / 1e6, 9, 6));
  EXPECT_EQ(units_text(kMicro, 9, 6), " 1.000000");
  EXPECT_EQ(units_text(3546, 9, 6), " 0.003546");
}

TEST(GammaFileWriter, RoundedRowsSumToOneAndStayWithinAUnit) {
  std::mt19937 rng(9);
  std::vector<long long> units(kModelStates);
  // Three equal thirds round down to 999999 units: the lowest state takes
  // the missing one.
  std::vector<double> thirds(kModelStates, 0.0);
  thirds[40] = thirds[7] = thirds[200] = 1.0 / 3.0;
  round_row(thirds, units);
  EXPECT_EQ(units[7], 333334);
  EXPECT_EQ(units[40], 333333);
  EXPECT_EQ(units[200], 333333);
  // A uniform row is the worst case for plain rounding (each entry 3558.7 units).
  std::vector<double> row(kModelStates, 1.0 / 281.0);
  row[0] = 0.0;
  for (int trial = 0; trial < 50; ++trial) {
    if (trial > 0) {
      double sum = 0.0;
      for (int s = 1; s < kModelStates; ++s) {
        row[s] = trial % 2 ? std::pow(static_cast<double>(rng()) / rng.max(), 8.0) : static_cast<double>(rng() % 3);
        sum += row[s];
      }
      for (double& x : row) x /= sum;
    }
    round_row(row, units);
    if (trial == 0) {
      // Each entry rounds up to 3559 (79 units too many); of equal
      // remainders the lower states go down.
      for (int s = 1; s < kModelStates; ++s) ASSERT_EQ(units[s], s <= 79 ? 3558 : 3559) << "state " << s;
    }
    long long total = 0;
    for (int s = 0; s < kModelStates; ++s) {
      total += units[s];
      EXPECT_LE(std::fabs(static_cast<double>(units[s]) - row[s] * 1e6), 1.0);
      EXPECT_GE(units[s], 0);
    }
    EXPECT_EQ(total, kMicro);
    EXPECT_EQ(units[0], 0);
  }
}

// The rounding rule spelt out: nearest units, then the entries whose
// remainders lie furthest in the missing direction move one unit, ties to
// the lower state, found by sorting them all.
std::vector<long long> rounded_by_sorting(const std::vector<double>& row) {
  std::vector<long long> units(row.size(), 0);
  std::vector<std::pair<double, std::size_t>> rest;
  long long missing = kMicro;
  for (std::size_t s = 1; s < row.size(); ++s) {
    const double exact = row[s] * 1e6;
    units[s] = static_cast<long long>(std::floor(exact + 0.5));
    rest.emplace_back(exact - static_cast<double>(units[s]), s);
    missing -= units[s];
  }
  std::sort(rest.begin(), rest.end(), [up = missing > 0](const auto& x, const auto& y) {
    return x.first != y.first ? (up ? x.first > y.first : x.first < y.first) : x.second < y.second;
  });
  const auto moves = std::min<std::size_t>(static_cast<std::size_t>(std::llabs(missing)), rest.size());
  for (std::size_t k = 0; k < moves; ++k) {
    long long& u = units[rest[k].second];
    u = missing > 0 ? u + 1 : std::max(u - 1, 0LL);
  }
  return units;
}

TEST(GammaFileWriter, RoundedRowsMoveTheEntriesASortWouldPick) {
  // Rows of few distinct values tie their remainders everywhere; the row
  // sizes and weights spread the missing units over both signs, few and many.
  std::mt19937 rng(17);
  std::vector<long long> units(kModelStates);
  std::set<long long> missing_seen;
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<double> row(kModelStates, 0.0);
    const int live = 3 + static_cast<int>(rng() % 279), levels = 1 + static_cast<int>(rng() % 4);
    double sum = 0.0;
    for (int k = 0; k < live; ++k) {
      double& x = row[1 + rng() % (kModelStates - 1)];
      x = static_cast<double>(1 + rng() % static_cast<unsigned>(levels));
    }
    for (double x : row) sum += x;
    for (double& x : row) x /= sum;
    const std::vector<long long> want = rounded_by_sorting(row);
    long long missing = kMicro;
    for (std::size_t s = 1; s < row.size(); ++s) missing -= static_cast<long long>(std::floor(row[s] * 1e6 + 0.5));
    missing_seen.insert(missing);
    round_row(row, units);
    ASSERT_EQ(units, want) << "trial " << trial << ", " << missing << " units missing";
  }
  for (long long m : {-4LL, -2LL, -1LL, 1LL, 2LL, 3LL, 4LL}) EXPECT_TRUE(missing_seen.count(m)) << m << " units missing never tried";
  EXPECT_TRUE(std::any_of(missing_seen.begin(), missing_seen.end(), [](long long m) { return std::llabs(m) > 4; }));
}

TEST(GammaFileWriter, LayoutAndReadersRoundTrip) {
  // 14 positions: two RESIDUE lines, an "X" among them.
  const std::string letters = "MKVLAXGIVGALLV";
  const int L = static_cast<int>(letters.size());
  Posteriors post;
  post.length = L;
  post.gamma.assign(static_cast<std::size_t>(L) * kModelStates, 0.0);
  for (int t = 0; t < L; ++t) {
    for (int s = 1; s < kModelStates; ++s) post.gamma[t * kModelStates + s] = (1.0 + (s * 7 + t) % 13) ;
    double sum = 0.0;
    for (int s = 1; s < kModelStates; ++s) sum += post.gamma[t * kModelStates + s];
    for (int s = 1; s < kModelStates; ++s) post.gamma[t * kModelStates + s] /= sum;
  }
  const std::string text = format_gamma_file({"model_R.hmm", "3.drct"}, letters, post);
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  ASSERT_EQ(lines.size(), 5u + 2u + static_cast<std::size_t>(L));
  EXPECT_EQ(lines[0], "XKORDEL-GAMMA 1");
  EXPECT_EQ(lines[1], "MODEL    model_R.hmm");
  EXPECT_EQ(lines[2], "PROFILE  3.drct");
  EXPECT_EQ(lines[3], "LENGTH   14");
  EXPECT_EQ(lines[5], "RESIDUE MKVLAXGIVGAL");
  EXPECT_EQ(lines[6], "RESIDUE LV");
  for (int t = 0; t < L; ++t) {
    const std::string& g = lines[7 + static_cast<std::size_t>(t)];
    ASSERT_EQ(g.size(), 2545u);
    EXPECT_EQ(g.substr(0, 16), "GAMMA   0.000000");
  }

  xktest::TempDir dir;
  const std::string path = dir.file("3.gca");
  xktest::write_file(path, text);
  EXPECT_EQ(readgcaseq(path), letters);
  const std::vector<float> table = readgamma(path, L);
  for (int t = 0; t < L; ++t) {
    double sum = 0.0;
    for (int s = 0; s < kModelStates; ++s) {
      const double got = table[t * kModelStates + s];
      EXPECT_NEAR(got, post.gamma[t * kModelStates + s], 1.01e-6);
      sum += got;
    }
    EXPECT_NEAR(sum, 1.0, 1e-5);
  }
}

TEST(GammaFileWriter, EmptyProfileGivesHeaderOnly) {
  const std::string text = format_gamma_file({"model_R.hmm", "e.drct"}, "", Posteriors{});
  EXPECT_EQ(text.find("GAMMA  "), std::string::npos);
  EXPECT_EQ(text.find("RESIDUE"), std::string::npos);
  EXPECT_NE(text.find("LENGTH   0\n"), std::string::npos);
}

TEST(GammaFileWriter, ResidueLettersKeepTheirPositions) {
  EXPECT_EQ(residue_letter('a'), 'A');
  EXPECT_EQ(residue_letter('X'), 'X');
  EXPECT_EQ(residue_letter('B'), 'B');
  EXPECT_EQ(residue_letter('z'), 'Z');
  EXPECT_EQ(residue_letter(' '), 'X');
  EXPECT_EQ(residue_letter('U'), 'X');
  EXPECT_EQ(residue_letter('\0'), 'X');
}
