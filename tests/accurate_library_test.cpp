// The accurate mode's library of pair posteriors: the rescaled kernel
// against the log-space reference and both against every alignment
// enumerated by hand; the consistency transform worked by hand; the
// support at a join; refinement by the library.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <vector>

#include "accurate/library.hpp"
#include "accurate/pair_posterior.hpp"

namespace xk::accurate {
namespace {

// Every alignment of the model enumerated: starts in M on the first row or
// column, ends in M on the last row or column; returns the posteriors.
std::vector<double> enumerated(int n1, int n2, const std::vector<float>& s, const PairModel& m) {
  std::vector<double> through(static_cast<std::size_t>(n1 * n2), 0.0);
  double total = 0.0;
  std::vector<std::pair<int, int>> matches;
  auto e = [&](int i, int j) { return std::exp2(m.scale * s[static_cast<std::size_t>((i - 1) * n2 + j - 1)]); };
  // state: 'M' at (i, j) just emitted; extend paths from there.
  std::function<void(char, int, int, double)> walk = [&](char state, int i, int j, double w) {
    if (state == 'M' && (i == n1 || j == n2)) {
      total += w;
      for (auto [a, b] : matches) through[static_cast<std::size_t>((a - 1) * n2 + b - 1)] += w;
    }
    const double to_m = state == 'M' ? 1.0 - 2.0 * m.open : 1.0 - m.extend;
    if (i < n1 && j < n2) {
      matches.emplace_back(i + 1, j + 1);
      walk('M', i + 1, j + 1, w * to_m * e(i + 1, j + 1));
      matches.pop_back();
    }
    if (i < n1 && state != 'Y') walk('X', i + 1, j, w * (state == 'M' ? m.open : m.extend));
    if (j < n2 && state != 'X') walk('Y', i, j + 1, w * (state == 'M' ? m.open : m.extend));
  };
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j)
      if (i == 1 || j == 1) {
        matches.assign(1, {i, j});
        walk('M', i, j, e(i, j));
      }
  for (double& t : through) t /= total;
  return through;
}

// The default model keeping every posterior.
const PairModel every{1.0, 0.02, 0.8, 0.0f};

std::vector<double> dense(const SparsePosterior& p, int n1, int n2) {
  std::vector<double> d(static_cast<std::size_t>(n1 * n2), 0.0);
  for (int i = 1; i <= n1; ++i)
    for (int c = p.start[static_cast<std::size_t>(i - 1)]; c < p.start[static_cast<std::size_t>(i)]; ++c) {
      const PairEntry& e = p.entries[static_cast<std::size_t>(c)];
      d[static_cast<std::size_t>((i - 1) * n2 + e.j - 1)] = e.p;
    }
  return d;
}

TEST(PairPosterior, OneResidueAgainstTwoSharesByTheMatchOdds) {
  // Two alignments: 1 with 1, or 1 with 2; odds 2^1 and 2^3.
  const std::vector<float> s{1.0f, 3.0f};
  const std::vector<double> p = dense(pair_posterior(1, 2, s, every), 1, 2);
  EXPECT_NEAR(p[0], 0.2, 1e-6);
  EXPECT_NEAR(p[1], 0.8, 1e-6);
}

TEST(PairPosterior, KernelAndReferenceAgreeWithEveryAlignmentEnumerated) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> score(-4.0f, 4.0f);
  const PairModel models[] = {every, PairModel{0.5, 0.1, 0.5, 0.0f}, PairModel{2.0, 0.3, 0.9, 0.0f}};
  for (const PairModel& m : models)
    for (auto [n1, n2] : {std::pair{1, 1}, {2, 3}, {4, 3}, {4, 5}}) {
      std::vector<float> s(static_cast<std::size_t>(n1 * n2));
      for (float& x : s) x = score(rng);
      const std::vector<double> truth = enumerated(n1, n2, s, m);
      const std::vector<double> ref = pair_posterior_reference(n1, n2, s, m);
      const std::vector<double> fast = dense(pair_posterior(n1, n2, s, m), n1, n2);
      for (std::size_t k = 0; k < truth.size(); ++k) {
        EXPECT_NEAR(ref[k], truth[k], 1e-9) << n1 << "x" << n2 << " cell " << k;
        EXPECT_NEAR(fast[k], truth[k], 1e-6) << n1 << "x" << n2 << " cell " << k;
      }
    }
}

TEST(PairPosterior, LongSequencesStayFiniteAndEachResidueSumsToAtMostOne) {
  // Long strongly scoring and strongly penalised stretches: the rescaling
  // keeps every row in range where plain products would overflow.
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> score(-12.0f, 12.0f);
  const int n1 = 300, n2 = 280;
  std::vector<float> s(static_cast<std::size_t>(n1 * n2));
  for (float& x : s) x = score(rng);
  for (int k = 0; k < 250; ++k) s[static_cast<std::size_t>(k * n2 + k + 10)] = 30.0f;
  const SparsePosterior fast = pair_posterior(n1, n2, s, every);
  const std::vector<double> ref = pair_posterior_reference(n1, n2, s, PairModel{});
  const std::vector<double> d = dense(fast, n1, n2);
  for (int i = 1; i <= n1; ++i) {
    double row = 0.0;
    for (int j = 1; j <= n2; ++j) {
      const std::size_t c = static_cast<std::size_t>((i - 1) * n2 + j - 1);
      ASSERT_TRUE(std::isfinite(d[c]));
      EXPECT_NEAR(d[c], ref[c], 1e-5);
      row += d[c];
    }
    EXPECT_LE(row, 1.0 + 1e-5);
  }
  EXPECT_NEAR(d[static_cast<std::size_t>(100 * n2 + 110)], 1.0, 1e-6);
}

TEST(JoinSupport, SumsTheMembersPosteriorsOverTheGroupsProfilePositions) {
  // Sequences 1 (3 residues), 2 (2) and 3 (2); group {1, 2} aligned as
  //   1: A B C     profile positions = columns 0, 1, 2 (the longer member)
  //   2: . D E
  // against group {3}.
  PairLibrary lib(3);
  SparsePosterior p13;  // 1's residues against 3's
  p13.start = {0, 1, 2, 2};
  p13.entries = {{1, 0.5f}, {2, 1.0f}};
  lib.set(1, 3, p13, 2);
  SparsePosterior p23;
  p23.start = {0, 1, 2};
  p23.entries = {{1, 0.25f}, {2, 0.75f}};
  lib.set(2, 3, p23, 2);
  GroupAlignment first{{1, 2}, {"ABC", ".DE"}, {0, 1, 2}};
  GroupAlignment second = sequence_alignment(3, "FG");
  const std::vector<float> s = join_support(first, second, lib);
  ASSERT_EQ(s.size(), 6u);
  // Position 1 (column 0): only 1's A, with 3's F at 0.5, over 2 pairs.
  EXPECT_FLOAT_EQ(s[0], 0.25f);
  EXPECT_FLOAT_EQ(s[1], 0.0f);
  // Position 2: 1's B with G (1.0) and 2's D with F (0.25).
  EXPECT_FLOAT_EQ(s[2], 0.125f);
  EXPECT_FLOAT_EQ(s[3], 0.5f);
  // Position 3: 2's E with G (0.75); 1's C has no partner.
  EXPECT_FLOAT_EQ(s[4], 0.0f);
  EXPECT_FLOAT_EQ(s[5], 0.375f);
  // The library reads the pair from either side.
  ASSERT_EQ(lib.partners(3, 2, 2).size(), 1u);
  EXPECT_EQ(lib.partners(3, 2, 2)[0].j, 2);
  EXPECT_FLOAT_EQ(lib.partners(3, 2, 2)[0].p, 0.75f);
}

TEST(ConsistencyTransform, AddsTheAgreementThroughTheThirdSequence) {
  // Three sequences of two residues.  1's residue 1 meets 2's residue 1
  // (0.6) and 3's residue 2 (0.5); 2's residue 1 meets 3's residue 2 (0.8).
  // Through 3, 1's residue 1 meets 2's residue 1 with 0.5 x 0.8.
  PairLibrary lib(3);
  lib.set(1, 2, SparsePosterior{{0, 1, 1}, {{1, 0.6f}}}, 2);
  lib.set(1, 3, SparsePosterior{{0, 1, 1}, {{2, 0.5f}}}, 2);
  lib.set(2, 3, SparsePosterior{{0, 1, 1}, {{2, 0.8f}}}, 2);
  const std::vector<int> lengths{2, 2, 2};
  const PairLibrary once = consistency_transform(lib, lengths, 0.01f, 1);
  const auto p = once.partners(1, 1, 2);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].j, 1);
  EXPECT_NEAR(p[0].p, (2 * 0.6 + 0.5 * 0.8) / 3, 1e-6);
  // And 1's residue 1 meets 3's residue 2 through 2 with 0.6 x 0.8.
  EXPECT_NEAR(once.partners(1, 1, 3)[0].p, (2 * 0.5 + 0.6 * 0.8) / 3, 1e-6);
  // A stop asked for between sequences ends the transform on the caller's
  // thread, from whichever thread saw it.
  EXPECT_THROW(consistency_transform(lib, lengths, 0.01f, 3, [] { throw std::runtime_error("stop"); }),
               std::runtime_error);
  // The same on several threads.
  const PairLibrary threaded = consistency_transform(lib, lengths, 0.01f, 3);
  for (int x = 1; x <= 3; ++x)
    for (int y = 1; y <= 3; ++y)
      for (int i = 1; i <= 2; ++i) {
        const auto a = once.partners(x, i, y), b = threaded.partners(x, i, y);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t k = 0; k < a.size(); ++k) EXPECT_EQ(a[k].p, b[k].p);
      }
}

// Residues of a row in order (gaps dropped).
std::string residues_of(const std::string& row) {
  std::string r;
  for (char c : row)
    if (c != '.' && c != '-') r += c;
  return r;
}

TEST(LibraryRefinement, NeverLowersTheLibraryScoreAndKeepsEveryResidueInOrder) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> score(-3.0f, 2.0f);
  std::uniform_int_distribution<int> len(5, 25), letter(0, 19);
  const int n = 6;
  std::vector<std::string> seqs(n);
  for (std::string& s : seqs)
    for (int k = len(rng); k > 0; --k) s += "ACDEFGHIKLMNPQRSTVWY"[letter(rng)];
  PairLibrary lib(n);
  for (int x = 1; x <= n; ++x)
    for (int y = x + 1; y <= n; ++y) {
      const int lx = static_cast<int>(seqs[x - 1].size()), ly = static_cast<int>(seqs[y - 1].size());
      std::vector<float> s(static_cast<std::size_t>(lx * ly));
      for (float& v : s) v = score(rng);
      // A shared diagonal: the pairs the refinement should find.
      for (int i = 0; i < std::min(lx, ly); ++i) s[static_cast<std::size_t>(i * ly + i)] += 4.0f;
      lib.set(x, y, pair_posterior(lx, ly, s, PairModel{}), ly);
    }
  // Start: every sequence flush right, padded with '-' in front.
  std::size_t w = 0;
  for (const std::string& s : seqs) w = std::max(w, s.size());
  std::vector<std::string> rows;
  for (const std::string& s : seqs) rows.push_back(std::string(w - s.size(), '-') + s);
  double before = library_score(rows, lib);
  for (int round = 0; round < 3; ++round) {
    const std::vector<std::string> next = realign_each_to_rest(rows, lib);
    ASSERT_EQ(next.size(), rows.size());
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(residues_of(next[static_cast<std::size_t>(k)]), seqs[static_cast<std::size_t>(k)]);
      EXPECT_EQ(next[static_cast<std::size_t>(k)].size(), next.front().size());
    }
    const double after = library_score(next, lib);
    EXPECT_GE(after, before - 1e-9);
    before = after;
    rows = next;
  }
  // The shared diagonal is found: every first residue in one column.
  for (const std::string& r : rows) EXPECT_EQ(r.find_first_not_of('.'), rows.front().find_first_not_of('.'));
}

}  // namespace
}  // namespace xk::accurate
