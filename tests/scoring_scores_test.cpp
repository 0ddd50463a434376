// Position-pair scores: the fast scorer against the defining loops, the
// preparation steps and their in-place effects, and hand-worked cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <filesystem>
#include <random>
#include <thread>

#include "scoring/fastlog.hpp"
#include "scoring/gemm.hpp"
#include "scoring/pairscores.hpp"
#include "scoring/scores.hpp"
#include "scoring_fixture.hpp"
#include "testutil.hpp"

using namespace xk;
using xktest::RowKind;

namespace {

constexpr std::size_t kG = kStates;

// Every entry within 1e-5 absolute or 1e-4 relative.
void expect_close(const std::vector<float>& got, const std::vector<float>& want, const char* what) {
  ASSERT_EQ(got.size(), want.size());
  int bad = 0;
  for (std::size_t k = 0; k < got.size(); ++k) {
    const float diff = std::fabs(got[k] - want[k]);
    if (!(diff <= 1e-5f || diff <= 1e-4f * std::fabs(want[k]))) {
      if (++bad <= 5) ADD_FAILURE() << what << ": entry " << k << " got " << got[k] << " want " << want[k];
    }
  }
  EXPECT_EQ(bad, 0) << what;
}

FrequencyTables loaded_tables(unsigned seed) {
  FrequencyTables t = xktest::synthetic_tables(seed);
  xktest::add_pseudo_counts(t);
  return t;
}

// Runs the fast and the reference makedrctmij on copies of the same inputs;
// checks the tables and the in-place effects.
void compare_profiles(int n1, int n2, const std::vector<float>& w1, const std::vector<float>& w2, unsigned seed,
                      const char* what) {
  std::mt19937 rng(seed);
  const std::vector<float> g1 = xktest::realistic_gamma(n1, rng, n1 > 2 ? 1 : -1);
  const std::vector<float> g2 = xktest::realistic_gamma(n2, rng, n2 > 3 ? 3 : -1);
  FrequencyTables tf = loaded_tables(seed), tr = tf;
  std::vector<float> g1f = g1, g2f = g2, g1r = g1, g2r = g2;
  std::vector<float> fast(static_cast<std::size_t>(n1 * n2), 99.0f), ref(fast.size(), 99.0f);
  makedrctmij(n1, n2, w1, w2, g1f, g2f, tf, fast);
  reference::makedrctmij(n1, n2, w1, w2, g1r, g2r, tr, ref);
  expect_close(fast, ref, what);
  EXPECT_EQ(g1f, g1r);
  EXPECT_EQ(g2f, g2r);
  EXPECT_EQ(tf.matrix1, tr.matrix1);
  EXPECT_EQ(tf.matrix2, tr.matrix2);
}

// Small working sizes, so that tiles, blocks and the rare-residue-set group
// all have edges inside small inputs.
const detail::ScoreTiling kTiny{5, 30, 3};

}  // namespace

TEST(ScoreTables, PreparationRescalesInPlace) {
  FrequencyTables t = loaded_tables(4);
  // State 7's block all 0 (its sum is not positive): left as it is.
  for (int a = 1; a <= 20; ++a)
    for (int b = 1; b <= 20; ++b) t.matrix1[m1_index(a, b, 7)] = 0.0f;
  const ScoringTables s = prepare_tables(t);
  EXPECT_EQ(s.pair, t.matrix1);
  EXPECT_EQ(s.expected, t.matrix2);
  for (int st = 1; st <= kScoredStates; ++st) {
    double sum = 0.0;
    for (int a = 1; a <= 20; ++a)
      for (int b = 1; b <= 20; ++b) sum += t.matrix1[m1_index(a, b, st)];
    EXPECT_NEAR(sum, st == 7 ? 0.0 : 1.0, 1e-5) << st;
  }
  double total = 0.0, bg = 0.0;
  for (float x : t.matrix2) total += x;
  EXPECT_NEAR(total, 1.0, 1e-5);
  for (int a = 1; a <= 20; ++a) {
    float p = 0.0f;
    for (int st = 1; st <= kScoredStates; ++st) p += t.matrix2[m2_index(a, st)];
    EXPECT_EQ(s.background[static_cast<std::size_t>(a - 1)], p);
    bg += p;
  }
  EXPECT_NEAR(bg, 1.0, 1e-5);
  // Rescaling again changes the tables only by rounding.
  const std::vector<float> once = t.matrix1;
  prepare_tables(t);
  for (std::size_t k = 0; k < once.size(); ++k) ASSERT_NEAR(t.matrix1[k], once[k], 4e-6f * once[k] + 1e-30f);
}

TEST(ScoreFastVsReference, DenseAgainstDense) {
  std::mt19937 rng(11);
  auto w1 = xktest::profile_rows(9, RowKind::dense, rng), w2 = xktest::profile_rows(12, RowKind::dense, rng);
  // Weights that are 0 or negative do not count.
  w1[3] = 0.0f;
  w1[25] = -0.2f;
  w2[40] = 0.0f;
  compare_profiles(9, 12, w1, w2, 11, "dense x dense");
}

TEST(ScoreFastVsReference, DenseAgainstConverterProfilesBothWays) {
  std::mt19937 rng(12);
  const auto dense = xktest::profile_rows(8, RowKind::dense, rng);
  const auto conv = xktest::profile_rows(33, RowKind::converter, rng);
  compare_profiles(8, 33, dense, conv, 12, "dense x converter");
  compare_profiles(33, 8, conv, dense, 13, "converter x dense");
}

TEST(ScoreFastVsReference, SparseMergedAndConverterProfiles) {
  std::mt19937 rng(14);
  const auto sparse = xktest::profile_rows(30, RowKind::sparse, rng);
  const auto conv = xktest::profile_rows(37, RowKind::converter, rng);
  compare_profiles(30, 37, sparse, conv, 14, "sparse x converter");
  compare_profiles(37, 30, conv, sparse, 15, "converter x sparse");
}

TEST(ScoreFastVsReference, Sequences) {
  std::mt19937 rng(16);
  // Letters not scored: lower case, B, Z, X, gaps, blanks, others.
  const std::string pool = "ACDEFGHIKLMNPQRSTVWYACDEFGHIKLMNPQRSTVWYacBZX.-~* #";
  std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
  std::string s1, s2;
  for (int k = 0; k < 37; ++k) s1 += pool[pick(rng)];
  for (int k = 0; k < 41; ++k) s2 += pool[pick(rng)];
  const std::vector<float> g1 = xktest::realistic_gamma(37, rng, 2), g2 = xktest::realistic_gamma(41, rng);
  const FrequencyTables loaded = loaded_tables(16);
  FrequencyTables tf = loaded, tr = loaded;
  std::vector<float> g1f = g1, g2f = g2, g1r = g1, g2r = g2;
  std::vector<float> fast(37 * 41, 99.0f), ref(fast.size(), 99.0f);
  makemij(37, 41, s1, s2, g1f, g2f, tf, fast);
  reference::makemij(37, 41, s1, s2, g1r, g2r, tr, ref);
  expect_close(fast, ref, "makemij");
  EXPECT_EQ(g1f, g1r);
  EXPECT_EQ(tf.matrix1, tr.matrix1);
  for (std::size_t i = 0; i < 37; ++i)
    for (std::size_t j = 0; j < 41; ++j)
      if (pool.find(s1[i]) >= 40 || pool.find(s2[j]) >= 40) {
        ASSERT_EQ(fast[i * 41 + j], 0.0f) << i << " " << j;
      }

  // The one-hot profiles of the same letters give the same table.
  auto one_hot = [](const std::string& s) {
    const std::string order = "ACDEFGHIKLMNPQRSTVWY";
    std::vector<float> w(s.size() * 20, 0.0f);
    for (std::size_t i = 0; i < s.size(); ++i)
      if (std::size_t a = order.find(s[i]); a != std::string::npos) w[i * 20 + a] = 1.0f;
    return w;
  };
  FrequencyTables tc = loaded;
  const ScoringTables t = prepare_tables(tc);
  std::vector<float> viaprof(fast.size());
  score_profiles(t, 37, 41, one_hot(s1), one_hot(s2), g1, g2, viaprof);
  EXPECT_EQ(viaprof, fast);
}

TEST(ScoreFastVsReference, EveryTileAndBlockEdge) {
  std::mt19937 rng(17);
  FrequencyTables tr = loaded_tables(17);
  const ScoringTables t = prepare_tables(tr);
  struct Case {
    int n1, n2;
    RowKind k1, k2;
  };
  for (const Case c : {Case{7, 23, RowKind::dense, RowKind::sparse}, Case{26, 19, RowKind::sparse, RowKind::sparse},
                       Case{21, 17, RowKind::converter, RowKind::sparse}}) {
    const auto w1 = xktest::profile_rows(c.n1, c.k1, rng), w2 = xktest::profile_rows(c.n2, c.k2, rng);
    const auto g1 = xktest::realistic_gamma(c.n1, rng), g2 = xktest::realistic_gamma(c.n2, rng);
    std::vector<float> fast(static_cast<std::size_t>(c.n1 * c.n2)), tiny(fast.size()), ref(fast.size());
    const float add = 1.0e-9f;
    FrequencyTables tc = tr;
    auto g1r = g1, g2r = g2;
    reference::makedrctmij(c.n1, c.n2, w1, w2, g1r, g2r, tc, ref);
    detail::score_pairs(t, {c.n1, w1, g1, add}, {c.n2, w2, g2, add}, fast);
    expect_close(fast, ref, "default sizes");
    // Tiny sizes on every vector path this processor runs.
    for (VectorPath path : usable_vector_paths()) {
      detail::ScoreTiling tiling = kTiny;
      tiling.path = path;
      detail::score_pairs(t, {c.n1, w1, g1, add}, {c.n2, w2, g2, add}, tiny, tiling);
      const std::string what = "tiny sizes, " + std::string(vector_path_name(path));
      expect_close(tiny, ref, what.c_str());
    }
  }
}

// The frequency tables with every state's block replaced by the block of
// its class (state s in class s % classes), as a table trained per class
// of states holds them.
FrequencyTables class_tables(unsigned seed, int classes) {
  FrequencyTables t = loaded_tables(seed);
  for (int s = 1; s <= kScoredStates; ++s)
    for (int a = 1; a <= 20; ++a)
      for (int b = 1; b <= 20; ++b) t.matrix1[m1_index(a, b, s)] = t.matrix1[m1_index(a, b, 1 + (s - 1) % classes)];
  return t;
}

TEST(ScoreFastVsReference, StatesWithSharedBlocksScoreThroughTheirGroups) {
  // The bundled tables (one block per class of states), a table of 16
  // classes, and one whose 281 blocks all differ (the per-pair products),
  // each on one-hot rows with X/B/Z, sparse and dense rows, with the
  // default and tiny working sizes; always against the defining loops.
  struct Tables {
    FrequencyTables raw;
    int groups;
  };
  std::vector<Tables> all;
  if (std::filesystem::exists(xktest::source_path("data/observed")))
    all.push_back({load_frequency_tables(xktest::source_path("data/observed"), xktest::source_path("data/expected")), -1});
  all.push_back({class_tables(31, 16), 16});
  all.push_back({loaded_tables(32), 0});
  std::mt19937 rng(33);
  for (Tables& tb : all) {
    FrequencyTables prepared = tb.raw;
    const ScoringTables t = prepare_tables(prepared);
    if (tb.groups >= 0) {
      EXPECT_EQ(t.state_groups.count(), tb.groups);
    } else {
      EXPECT_GT(t.state_groups.count(), 1);
      EXPECT_LE(t.state_groups.count(), 16);
    }
    for (auto [k1, k2] : {std::pair{RowKind::converter, RowKind::converter}, std::pair{RowKind::dense, RowKind::dense},
                          std::pair{RowKind::sparse, RowKind::converter}, std::pair{RowKind::dense, RowKind::sparse}}) {
      // 45 columns: one whole chunk of the row loops and a partial one.
      const int n1 = 23, n2 = 45;
      const auto w1 = xktest::profile_rows(n1, k1, rng), w2 = xktest::profile_rows(n2, k2, rng);
      const auto g1 = xktest::realistic_gamma(n1, rng, 4), g2 = xktest::realistic_gamma(n2, rng);
      std::vector<float> fast(static_cast<std::size_t>(n1 * n2)), tiny(fast.size()), ref(fast.size());
      detail::score_pairs(t, {n1, w1, g1, 1.0e-9f}, {n2, w2, g2, 1.0e-9f}, fast);
      // By columns, on two threads: the same values to the bit.
      std::vector<float> by_columns(fast.size(), -1.0f);
      detail::score_pairs(t, {n1, w1, g1, 1.0e-9f}, {n2, w2, g2, 1.0e-9f}, by_columns, {}, 2, true);
      EXPECT_EQ(by_columns, xktest::by_columns(fast, n1, n2)) << "profiles by columns";
      FrequencyTables tc = tb.raw;
      auto g1r = g1, g2r = g2;
      reference::makedrctmij(n1, n2, w1, w2, g1r, g2r, tc, ref);
      expect_close(fast, ref, "default sizes");
      for (VectorPath path : usable_vector_paths()) {
        detail::ScoreTiling small = kTiny;
        small.grouped_rows = 3;
        small.path = path;
        detail::score_pairs(t, {n1, w1, g1, 1.0e-9f}, {n2, w2, g2, 1.0e-9f}, tiny, small);
        const std::string what = "tiny sizes, " + std::string(vector_path_name(path));
        expect_close(tiny, ref, what.c_str());
      }
    }
    // Sequences: one residue per position on both sides (unscored letters
    // mixed in), longer than one band of positions.
    const std::string pool = "ACDEFGHIKLMNPQRSTVWYACDEFGHIKLMNPQRSTVWYxBZX-";
    std::string s1, s2;
    for (int k = 0; k < 140; ++k) s1 += pool[rng() % pool.size()];
    for (int k = 0; k < 45; ++k) s2 += pool[rng() % pool.size()];
    const auto g1 = xktest::realistic_gamma(140, rng), g2 = xktest::realistic_gamma(45, rng, 7);
    std::vector<float> fast(140 * 45), ref(fast.size()), ordered(fast.size());
    score_sequences(t, s1, s2, g1, g2, fast);
    // Tables reordered once give the very same scores, also with the gamma
    // tables left out where the states group.
    const auto o1 = ordered_gamma(t, g1, 140), o2 = ordered_gamma(t, g2, 45);
    score_sequences_ordered(t, s1, s2, g1, g2, o1, o2, ordered);
    EXPECT_EQ(ordered, fast);
    if (t.state_groups.count() > 0) {
      std::fill(ordered.begin(), ordered.end(), -1.0f);
      score_sequences_ordered(t, s1, s2, {}, {}, o1, o2, ordered);
      EXPECT_EQ(ordered, fast);
    }
    FrequencyTables tc = tb.raw;
    auto g1r = g1, g2r = g2;
    reference::makemij(140, 45, s1, s2, g1r, g2r, tc, ref);
    expect_close(fast, ref, "sequences");

    // Column forms made once per sequence give the very same scores, in
    // either order, on letters with several residues (B, Z, X) and on one
    // residue a position; the first input, longer than one band, has its
    // form used only where it is scored whole.  With other tables (the
    // independence null's) a form is passed over.
    std::string p1, p2;
    for (int k = 0; k < 150; ++k) p1 += pool[rng() % 20];
    for (int k = 0; k < 60; ++k) p2 += pool[rng() % 20];
    const auto h1 = xktest::realistic_gamma(150, rng), h2 = xktest::realistic_gamma(60, rng);
    const ScoringTables null = independence_null(t);
    for (const ScoringTables* with : {&t, &null}) {
      for (const auto& [a, b, ga, gb] : {std::tuple{s1, s2, g1, g2}, std::tuple{s2, s1, g2, g1},
                                          std::tuple{p1, p2, h1, h2}, std::tuple{p2, p1, h2, h1}}) {
        const int na = static_cast<int>(a.size()), nb = static_cast<int>(b.size());
        const auto oa = ordered_gamma(*with, ga, na), ob = ordered_gamma(*with, gb, nb);
        const auto fa = sequence_form(t, a, ordered_gamma(t, ga, na)), fb = sequence_form(t, b, ordered_gamma(t, gb, nb));
        EXPECT_EQ(fa == nullptr, t.state_groups.count() == 0);
        std::vector<float> plain(static_cast<std::size_t>(na * nb)), formed(plain.size(), -1.0f);
        score_sequences_ordered(*with, a, b, ga, gb, oa, ob, plain);
        score_sequences_ordered(*with, a, b, ga, gb, oa, ob, formed, fa.get(), fb.get());
        EXPECT_EQ(formed, plain) << na << " x " << nb << (with == &null ? ", null tables" : "");
        // The same table laid by columns, to the bit; every entry written.
        std::vector<float> by_columns(plain.size(), -1.0f);
        score_sequences_ordered(*with, a, b, ga, gb, oa, ob, by_columns, fa.get(), fb.get(), true);
        EXPECT_EQ(by_columns, xktest::by_columns(plain, na, nb)) << na << " x " << nb << " by columns";
      }
    }
  }
}

TEST(ScoreFastVsReference, ScoresLessANullEqualTheTwoTablesScoredApart) {
  // Tables that carry a null share are scored in one pass over the group
  // sums where both group their states alike (the bundled-like 16 classes),
  // apart where they do not (281 distinct blocks); either way every entry
  // is score - share x null score, to the bit, by rows and by columns, for
  // sequences with unscored letters (longer than one band) and for dense
  // profiles.
  std::mt19937 rng(41);
  const std::string pool = "ACDEFGHIKLMNPQRSTVWYACDEFGHIKLMNPQRSTVWYxBZX-";
  for (FrequencyTables raw : {class_tables(42, 16), loaded_tables(43)}) {
    const ScoringTables plain = prepare_tables(raw);
    ScoringTables less = plain;
    subtract_independence_null(less, 0.25f);
    std::string s1, s2;
    for (int k = 0; k < 140; ++k) s1 += pool[rng() % pool.size()];
    for (int k = 0; k < 45; ++k) s2 += pool[rng() % pool.size()];
    const auto g1 = xktest::realistic_gamma(140, rng), g2 = xktest::realistic_gamma(45, rng);
    const std::size_t cells = 140 * 45;
    std::vector<float> m(cells), n(cells), want(cells), got(cells, -1.0f), by_columns(cells, -1.0f);
    score_sequences(plain, s1, s2, g1, g2, m);
    score_sequences(*less.null_tables, s1, s2, g1, g2, n);
    for (std::size_t k = 0; k < cells; ++k) want[k] = m[k] - 0.25f * n[k];
    score_sequences(less, s1, s2, g1, g2, got);
    EXPECT_EQ(got, want) << "sequences, " << less.state_groups.count() << " groups";
    const auto o1 = ordered_gamma(less, g1, 140), o2 = ordered_gamma(less, g2, 45);
    score_sequences_ordered(less, s1, s2, g1, g2, o1, o2, by_columns, sequence_form(less, s1, o1).get(),
                            sequence_form(less, s2, o2).get(), true);
    EXPECT_EQ(by_columns, xktest::by_columns(want, 140, 45)) << "sequences by columns, " << less.state_groups.count() << " groups";

    const int n1 = 37, n2 = 52;
    const auto w1 = xktest::profile_rows(n1, xktest::RowKind::dense, rng);
    const auto w2 = xktest::profile_rows(n2, xktest::RowKind::sparse, rng);
    const auto h1 = xktest::realistic_gamma(n1, rng), h2 = xktest::realistic_gamma(n2, rng);
    std::vector<float> pm(static_cast<std::size_t>(n1 * n2)), pn(pm.size()), pwant(pm.size()), pgot(pm.size(), -1.0f);
    score_profiles(plain, n1, n2, w1, w2, h1, h2, pm);
    score_profiles(*less.null_tables, n1, n2, w1, w2, h1, h2, pn);
    for (std::size_t k = 0; k < pm.size(); ++k) pwant[k] = pm[k] - 0.25f * pn[k];
    score_profiles(less, n1, n2, w1, w2, h1, h2, pgot, 0.0f, 2);
    EXPECT_EQ(pgot, pwant) << "profiles, " << less.state_groups.count() << " groups";
  }
}

TEST(ScoreCases, SwappedLettersScoreAlike) {
  std::mt19937 rng(18);
  auto g = xktest::realistic_gamma(1, rng);
  std::vector<float> g1, g2;
  for (int k = 0; k < 2; ++k) g1.insert(g1.end(), g.begin(), g.end());
  g2 = g1;
  // The pair tables' lower triangles differ from their upper ones: only the
  // upper one may be read.
  FrequencyTables t = loaded_tables(18), tr = t;
  std::vector<float> mij(4), ref(4);
  makemij(2, 2, "AC", "CA", g1, g2, t, mij);
  EXPECT_NEAR(mij[0], mij[3], 2e-6f);  // A against C, C against A
  EXPECT_GT(std::fabs(mij[1] - mij[0]), 0.01f);
  reference::makemij(2, 2, "AC", "CA", g1, g2, tr, ref);
  EXPECT_EQ(ref[0], ref[3]);
}

TEST(ScoreCases, AllZeroGammaGivesTheStateAverage) {
  FrequencyTables t = loaded_tables(19);
  std::vector<float> g1(kG, 0.0f), g2(kG, 0.0f), mij(1);
  FrequencyTables raw = t;
  const ScoringTables s = prepare_tables(raw);
  makemij(1, 1, "W", "K", g1, g2, t, mij);
  // A = W (index 18), K = 8 (0-based): lo = K, hi = W.
  double avg = 0.0;
  for (int st = 1; st <= kScoredStates; ++st) avg += s.pair[m1_index(9, 19, st)];
  avg /= kScoredStates;
  const double want = std::log2(avg / (2.0 * s.background[8] * s.background[18]));
  EXPECT_NEAR(mij[0], want, 1e-5);
  for (float x : g1) EXPECT_EQ(x, 1.0e-9f);  // P1 in place
}

TEST(ScoreCases, XAgainstAIsTheBackgroundMixture) {
  std::mt19937 rng(20);
  const auto g1 = xktest::realistic_gamma(1, rng), g2 = xktest::realistic_gamma(1, rng);
  FrequencyTables raw = loaded_tables(20);
  const ScoringTables t = prepare_tables(raw);
  const auto x = letter_profile('X'), a = letter_profile('A');
  float mij = 0.0f;
  score_profiles(t, 1, 1, x, a, g1, g2, {&mij, 1});
  double want = 0.0;
  for (int b = 0; b < 20; ++b) {
    float one = 0.0f;
    score_sequences(t, std::string(1, "ACDEFGHIKLMNPQRSTVWY"[b]), "A", g1, g2, {&one, 1});
    want += static_cast<double>(kBackground[static_cast<std::size_t>(b)]) * one;
  }
  EXPECT_NEAR(mij, want, 1e-5);
}

TEST(ScoreCases, IndependenceNullKeepsEachStatesCompositionAndItsShareIsTakenOff) {
  // State 1 holds only A-A and A-C, half each: its residues are A 3/4 and
  // C 1/4, so its null is A-A 9/16, A-C 2 x 3/16, C-C 1/16.
  FrequencyTables raw = class_tables(24, 16);
  for (int a = 1; a <= 20; ++a)
    for (int b = 1; b <= 20; ++b) raw.matrix1[m1_index(a, b, 1)] = 0.0f;
  raw.matrix1[m1_index(1, 1, 1)] = 2.0f;
  raw.matrix1[m1_index(1, 2, 1)] = 2.0f;
  const ScoringTables t = prepare_tables(raw);
  const ScoringTables n = independence_null(t);
  const std::size_t K = kScoredStates;
  auto at = [&](const ScoringTables& x, int lo, int hi, std::size_t s) {
    return x.pair_by_state[static_cast<std::size_t>(detail::pair_index(lo, hi)) * K + s];
  };
  EXPECT_FLOAT_EQ(at(n, 0, 0, 0), 0.5625f);
  EXPECT_FLOAT_EQ(at(n, 0, 1, 0), 0.375f);
  EXPECT_FLOAT_EQ(at(n, 1, 1, 0), 0.0625f);
  EXPECT_EQ(at(n, 0, 2, 0), 0.0f);
  for (std::size_t s = 0; s < K; ++s) {
    double sum = 0.0, want = 0.0;
    for (int lo = 0; lo < 20; ++lo)
      for (int hi = lo; hi < 20; ++hi) {
        sum += at(n, lo, hi, s);
        want += at(t, lo, hi, s);
      }
    ASSERT_NEAR(sum, want, 1e-5) << "state " << s + 1;
  }
  ASSERT_EQ(n.state_groups.count(), t.state_groups.count());

  // Scores with a share of the null are the plain scores less that share of
  // the null's, bit for bit; the null's groups score as its per-pair path.
  std::mt19937 rng(24);
  const std::string s1 = "ACDKLWYAACCGHP", s2 = "MKVLACDAY";
  const auto g1 = xktest::realistic_gamma(14, rng), g2 = xktest::realistic_gamma(9, rng);
  ScoringTables with = t;
  subtract_independence_null(with, 0.5f);
  std::vector<float> plain(14 * 9), null(plain.size()), got(plain.size()), flat(plain.size());
  score_sequences(t, s1, s2, g1, g2, plain);
  score_sequences(*with.null_tables, s1, s2, g1, g2, null);
  score_sequences(with, s1, s2, g1, g2, got);
  for (std::size_t k = 0; k < got.size(); ++k) ASSERT_EQ(got[k], plain[k] - 0.5f * null[k]) << k;
  ScoringTables ungrouped = *with.null_tables;
  ungrouped.state_groups = {};
  score_sequences(ungrouped, s1, s2, g1, g2, flat);
  expect_close(null, flat, "null through its groups");
  subtract_independence_null(with, 0.0f);
  score_sequences(with, s1, s2, g1, g2, got);
  EXPECT_EQ(got, plain);
}

TEST(ScoreCases, EmptyInputsStillPrepareTheTables) {
  FrequencyTables t = loaded_tables(21);
  const FrequencyTables before = t;
  std::vector<float> g(5 * kG, 0.25f), none;
  std::vector<float> w(5 * 20, 0.05f);
  makedrctmij(0, 5, none, w, none, g, t, {});
  EXPECT_NE(t.matrix1, before.matrix1);
  EXPECT_NE(t.matrix2, before.matrix2);
  EXPECT_EQ(g[0], 0.25f + 1.0e-9f);
  std::vector<float> out, g3(3 * kG);
  makemij(3, 0, "ACD", "", g3, none, t, out);
  const ScoringTables s = prepare_tables(t);
  score_sequences(s, "", "", none, none, {});
}

TEST(ScoreCases, OffsetReproducesALaterClassicCall) {
  std::mt19937 rng(22);
  const auto g1 = xktest::realistic_gamma(6, rng), g2 = xktest::realistic_gamma(5, rng);
  FrequencyTables t = loaded_tables(22);
  auto c1 = g1, c2 = g2;
  std::vector<float> first(30), second(30), offset(30);
  makemij(6, 5, "ACDEFG", "HIKLM", c1, c2, t, first);
  makemij(6, 5, "ACDEFG", "HIKLM", c1, c2, t, second);
  for (std::size_t k = 0; k < g1.size(); ++k) ASSERT_EQ(c1[k], (g1[k] + 1.0e-9f) + 1.0e-9f);
  const ScoringTables s = prepare_tables(t);
  score_sequences(s, "ACDEFG", "HIKLM", g1, g2, offset, 1.0e-9f);
  expect_close(offset, second, "offset");
}

TEST(ScoreCases, SeveralThreadsShareOneTable) {
  std::mt19937 rng(23);
  FrequencyTables raw = loaded_tables(23);
  const ScoringTables t = prepare_tables(raw);
  const auto w1 = xktest::profile_rows(15, RowKind::dense, rng), w2 = xktest::profile_rows(18, RowKind::sparse, rng);
  const auto g1 = xktest::realistic_gamma(15, rng), g2 = xktest::realistic_gamma(18, rng);
  std::vector<float> alone(15 * 18);
  score_profiles(t, 15, 18, w1, w2, g1, g2, alone);
  std::vector<std::vector<float>> out(3, std::vector<float>(alone.size()));
  std::vector<std::thread> threads;
  for (auto& o : out)
    threads.emplace_back([&t, &w1, &w2, &g1, &g2, mine = &o] {
      for (int r = 0; r < 3; ++r) score_profiles(t, 15, 18, w1, w2, g1, g2, *mine);
    });
  for (auto& th : threads) th.join();
  for (const auto& o : out) EXPECT_EQ(o, alone);
}

// The logarithm's vector and scalar forms over the same values, on each path
// (fastlog_lanes.cpp, built as the kernels are).
namespace xktest {
void log_lanes_plain(std::span<const float> in, std::span<float> scalar, std::span<float> lanes);
void log_lanes_avx2(std::span<const float> in, std::span<float> scalar, std::span<float> lanes);
void log_lanes_avx512(std::span<const float> in, std::span<float> scalar, std::span<float> lanes);
}  // namespace xktest

TEST(ScoreKernels, FastLogarithm) {
  // Error measured against the size of the result (at least 1).
  double worst = 0.0;
  auto check = [&](float x) {
    const double want = std::log2(static_cast<double>(x));
    worst = std::max(worst, std::fabs(fast_log2(x) - want) / std::max(1.0, std::fabs(want)));
  };
  for (double x = 1e-30; x < 1e30; x *= 1.0137) check(static_cast<float>(x));
  for (float x = 0.5f; x < 2.0f; x += 1.0e-4f) check(x);
  EXPECT_LT(worst, 2.5e-7);
  EXPECT_EQ(fast_log2(1.0f), 0.0f);
  EXPECT_EQ(fast_log2(0.25f), -2.0f);
  EXPECT_EQ(fast_log2(0.0f), -126.0f);

  // The vector form gives every lane the scalar form's value bit for bit on
  // each path (the kernels rely on it to score alike whatever their blocking):
  // the sweep above, the mantissa fold's edge, below the smallest normal, 0
  // and infinity.
  std::vector<float> in;
  for (double x = 1e-30; x < 1e30; x *= 1.0137) in.push_back(static_cast<float>(x));
  for (float x = 0.5f; x < 2.0f; x += 1.0e-4f) in.push_back(x);
  for (const float x : {1.41421356f, std::nextafter(1.41421356f, 0.0f), std::nextafter(1.41421356f, 2.0f), 1e-40f,
                        0.0f, std::numeric_limits<float>::min(), std::numeric_limits<float>::infinity(), 1.0f})
    in.push_back(x);
  in.resize((in.size() + 47) / 48 * 48, 3.0f);
  for (const VectorPath path : usable_vector_paths()) {
    std::vector<float> scalar(in.size()), lanes(in.size());
    kernel_for(path, xktest::log_lanes_plain, xktest::log_lanes_avx2, xktest::log_lanes_avx512)(in, scalar, lanes);
    EXPECT_EQ(std::memcmp(scalar.data(), lanes.data(), in.size() * sizeof(float)), 0) << vector_path_name(path);
  }
}

TEST(ScoreKernels, ProductWithStridesOnEveryVectorPath) {
  // A 2 x 3 (stride 4), B 3 x 3 (stride 5), C 2 x 3 (stride 4).
  const float a[] = {1, 2, 3, -1, 4, 5, 6, -1};
  const float b[] = {1, 0, 0, -1, -1, 0, 1, 0, -1, -1, 1, 1, 1, -1, -1};
  // At the scorer's inner size, against sums in double precision: sizes
  // that leave partial register blocks on every path.
  const int m = 37, n = 45, k = 281;
  std::mt19937 rng(4);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  std::vector<float> x(static_cast<std::size_t>(m) * k), y(static_cast<std::size_t>(n) * k);
  for (float& v : x) v = u(rng);
  for (float& v : y) v = u(rng);
  for (VectorPath path : usable_vector_paths()) {
    SCOPED_TRACE(vector_path_name(path));
    float c[8];
    std::fill(c, c + 8, 7.0f);
    gemm_abt(path, 2, 3, 3, a, 4, b, 5, c, 4);
    const float want[] = {1, 2, 6, 7, 4, 5, 15, 7};
    for (int e = 0; e < 8; ++e) EXPECT_EQ(c[e], want[e]) << e;
    gemm_abt(path, 2, 3, 0, a, 4, b, 5, c, 4);
    EXPECT_EQ(c[0], 0.0f);
    EXPECT_EQ(c[3], 7.0f);

    std::vector<float> z(static_cast<std::size_t>(m) * n);
    gemm_abt(path, m, n, k, x.data(), k, y.data(), k, z.data(), n);
    for (std::size_t i = 0; i < static_cast<std::size_t>(m); ++i)
      for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) {
        double sum = 0.0;
        for (std::size_t s = 0; s < static_cast<std::size_t>(k); ++s)
          sum += static_cast<double>(x[i * k + s]) * static_cast<double>(y[j * k + s]);
        ASSERT_NEAR(z[i * n + j], sum, 1e-5 * sum) << i << " " << j;
      }
  }
}

TEST(ScoreKernels, ProductOfTheTransposedOperandEqualsTheProductToTheBit) {
  // One row, one column, small products summed entry by entry and blocked
  // ones with partial register panels on both sides, with row strides, on
  // every path: gemm_ab on B gives gemm_abt on B's transpose bit for bit
  // (the grouped scorer's scores rely on it), and leaves the stride's
  // padding alone.
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  const int shapes[][3] = {{1, 300, 40}, {70, 1, 40}, {3, 4, 5},   {2, 2, 15},  {5, 9, 5},
                           {64, 251, 13}, {49, 17, 3}, {130, 33, 281}, {2, 300, 1}, {17, 600, 64}};
  for (VectorPath path : usable_vector_paths())
    for (const auto& [m, n, k] : shapes) {
      SCOPED_TRACE(testing::Message() << vector_path_name(path) << " " << m << " x " << n << " x " << k);
      const std::size_t lda = static_cast<std::size_t>(k) + 3, ldb = static_cast<std::size_t>(n) + 5,
                        ldc = static_cast<std::size_t>(n) + 2, kk = static_cast<std::size_t>(k);
      std::vector<float> a(static_cast<std::size_t>(m) * lda), b(kk * ldb), bt(static_cast<std::size_t>(n) * kk);
      for (float& v : a) v = u(rng) > 0.3f ? 0.0f : u(rng);
      for (float& v : b) v = u(rng);
      for (std::size_t s = 0; s < kk; ++s)
        for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) bt[j * kk + s] = b[s * ldb + j];
      std::vector<float> want(static_cast<std::size_t>(m) * ldc, 7.0f), got(want);
      gemm_abt(path, m, n, k, a.data(), static_cast<int>(lda), bt.data(), k, want.data(), static_cast<int>(ldc));
      gemm_ab(path, m, n, k, a.data(), static_cast<int>(lda), b.data(), static_cast<int>(ldb), got.data(),
              static_cast<int>(ldc));
      EXPECT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(float)), 0);
      EXPECT_EQ(got[static_cast<std::size_t>(n)], 7.0f);
    }
}
