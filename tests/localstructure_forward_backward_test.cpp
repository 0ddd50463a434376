// Posteriors of the local-structure model: the sparse scaled kernel against
// path enumeration on a small model and against the dense log-space
// reference on the bundled model, and what the bundled model makes of
// typical stretches.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>

#include "localstructure/forward_backward.hpp"
#include "localstructure/model.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"

using namespace xk;
using namespace xk::ls;

namespace {

const StructureModel& bundled() {
  static const StructureModel m = read_model(xktest::source_path("data/model_R.hmm"));
  return m;
}

std::vector<float> letters_profile(const std::string& letters) {
  std::vector<float> v;
  for (char c : letters) {
    auto row = letter_profile(c);
    v.insert(v.end(), row.begin(), row.end());
  }
  return v;
}

int residue(char c) { return static_cast<int>(std::string_view("ACDEFGHIKLMNPQRSTVWY").find(c)); }

// Begin state and two emitting states: state 1 prefers A, state 2 prefers C.
StructureModel tiny_model() {
  StructureModel m;
  m.background.fill(0.05);
  m.state_class = {"BEGIN", "X", "Y"};
  m.state_name = {"begin", "one", "two"};
  m.emission.assign(3 * 20, 0.0);
  for (int a = 0; a < 20; ++a) {
    m.emission[20 + static_cast<std::size_t>(a)] = 0.5 / 19;
    m.emission[40 + static_cast<std::size_t>(a)] = 0.5 / 19;
  }
  m.emission[20 + static_cast<std::size_t>(residue('A'))] = 0.5;
  m.emission[40 + static_cast<std::size_t>(residue('C'))] = 0.5;
  m.transitions = {{0, 1, 0.6}, {0, 2, 0.4}, {1, 1, 0.9}, {1, 2, 0.1}, {2, 1, 0.2}, {2, 2, 0.8}};
  return m;
}

// Posteriors and log-odds by summing over every state path.
Posteriors enumerate_paths(const StructureModel& m, const std::vector<float>& profile, int L) {
  const int S = m.states();
  std::vector<double> a(static_cast<std::size_t>(S * S), 0.0);
  for (const Transition& t : m.transitions) a[t.from * S + t.to] = t.prob;
  auto b = [&](int t, int s) {
    double sum = 0.0;
    for (int r = 0; r < 20; ++r) sum += profile[t * 20 + r] * m.e(s, r) / m.background[r];
    return sum;
  };
  Posteriors p;
  p.length = L;
  p.gamma.assign(static_cast<std::size_t>(L * S), 0.0);
  double total = 0.0;
  std::vector<int> path(static_cast<std::size_t>(L), 1);
  std::function<void(int, int, double)> walk = [&](int t, int prev, double w) {
    if (t == L) {
      total += w;
      for (int k = 0; k < L; ++k) p.gamma[static_cast<std::size_t>(k * S + path[static_cast<std::size_t>(k)])] += w;
      return;
    }
    for (int s = 1; s < S; ++s) {
      path[t] = s;
      walk(t + 1, s, w * a[prev * S + s] * b(t, s));
    }
  };
  walk(0, 0, 1.0);
  for (double& g : p.gamma) g /= total;
  p.logodds_forward = p.logodds_backward = std::log(total);
  return p;
}

void expect_same(const Posteriors& x, const Posteriors& y, double tol) {
  ASSERT_EQ(x.length, y.length);
  ASSERT_EQ(x.gamma.size(), y.gamma.size());
  for (std::size_t k = 0; k < x.gamma.size(); ++k) ASSERT_NEAR(x.gamma[k], y.gamma[k], tol) << "entry " << k;
  EXPECT_NEAR(x.logodds_forward, y.logodds_forward, tol * (1.0 + std::fabs(y.logodds_forward)));
  EXPECT_NEAR(x.logodds_backward, y.logodds_backward, tol * (1.0 + std::fabs(y.logodds_backward)));
}

// Mass of the states whose class starts with one of the prefixes, averaged
// over positions first..last (from 1).
double class_mass(const Posteriors& p, std::initializer_list<std::string_view> prefixes, int first, int last) {
  const StructureModel& m = bundled();
  double sum = 0.0;
  for (int t = first; t <= last; ++t) {
    for (int s = 1; s < kModelStates; ++s) {
      for (auto pre : prefixes) {
        if (m.state_class[s].rfind(pre, 0) == 0) sum += p.gamma[(t - 1) * kModelStates + s];
      }
    }
  }
  return sum / (last - first + 1);
}

}  // namespace

TEST(LocalStructureKernel, SmallModelMatchesPathEnumeration) {
  const StructureModel m = tiny_model();
  const CompiledModel c = compile_model(m);
  for (const std::string letters : {"A", "C", "AC", "AACW", "CAXCA"}) {
    const auto prof = letters_profile(letters);
    const int L = static_cast<int>(letters.size());
    const Posteriors want = enumerate_paths(m, prof, L);
    SCOPED_TRACE(letters);
    expect_same(posteriors(c, prof, L), want, 1e-12);
    expect_same(reference::posteriors(m, prof, L), want, 1e-12);
  }
  // One position by hand: begin 0.6 / 0.4 times emissions 10 and 0.5/19/0.05.
  const Posteriors one = posteriors(c, letters_profile("A"), 1);
  const double b2 = 0.5 / 19 / 0.05;
  EXPECT_NEAR(one.gamma[1], 6.0 / (6.0 + 0.4 * b2), 1e-14);
  EXPECT_EQ(one.gamma[0], 0.0);
  EXPECT_NEAR(one.logodds_forward, std::log(6.0 + 0.4 * b2), 1e-14);
}

TEST(LocalStructureKernel, StatesSharingAnEmissionRowShareItsOdds) {
  // State 3 repeats state 1's row and state 4 has its own: three distinct
  // rows, numbered by first state, an odd count (the last row runs alone).
  StructureModel m = tiny_model();
  m.state_class = {"BEGIN", "X", "Y", "X", "Z"};
  m.state_name = {"begin", "one", "two", "three", "four"};
  m.emission.resize(5 * 20);
  std::copy_n(m.emission.begin() + 20, 20, m.emission.begin() + 60);
  for (int a = 0; a < 20; ++a) m.emission[80 + static_cast<std::size_t>(a)] = (a + 1) / 210.0;
  m.transitions = {{0, 1, 0.5}, {0, 4, 0.5}, {1, 2, 0.5}, {1, 3, 0.5}, {2, 4, 1.0},
                   {3, 1, 0.3}, {3, 3, 0.7}, {4, 1, 0.4}, {4, 2, 0.6}};
  const CompiledModel c = compile_model(m);
  EXPECT_EQ(c.rows, 3);
  EXPECT_EQ(c.row_of_state, (std::vector<int>{-1, 0, 1, 0, 2}));
  // One-hot rows, a background row and a profile row of mixed weights.
  std::vector<float> prof = letters_profile("ACXW");
  for (int a = 0; a < 20; ++a) prof.push_back(a % 3 == 0 ? 0.0f : 0.05f * static_cast<float>(a % 4));
  expect_same(posteriors(c, prof, 5), enumerate_paths(m, prof, 5), 1e-12);
}

TEST(LocalStructureKernel, EmptyProfile) {
  const Posteriors p = posteriors(compile_model(bundled()), {}, 0);
  EXPECT_EQ(p.length, 0);
  EXPECT_TRUE(p.gamma.empty());
  EXPECT_EQ(p.logodds_forward, 0.0);
  EXPECT_EQ(reference::posteriors(bundled(), {}, 0).gamma.size(), 0u);
}

TEST(LocalStructureKernel, OnePositionIsPriorTimesEmission) {
  const StructureModel& m = bundled();
  const Posteriors p = posteriors(compile_model(m), letters_profile("W"), 1);
  std::vector<double> w(kModelStates, 0.0);
  double total = 0.0;
  for (const Transition& t : m.transitions) {
    if (t.from != 0) continue;
    w[t.to] = t.prob * m.e(t.to, residue('W')) / m.background[static_cast<std::size_t>(residue('W'))];
    total += w[t.to];
  }
  for (int s = 0; s < kModelStates; ++s) EXPECT_NEAR(p.gamma[s], w[s] / total, 1e-14);
}

TEST(LocalStructureKernel, FastMatchesReferenceOnRealisticProfiles) {
  const StructureModel& m = bundled();
  const CompiledModel c = compile_model(m);
  std::mt19937 rng(4);
  const std::string letters = "ACDEFGHIKLMNPQRSTVWYBXZ";
  for (int trial = 0; trial < 3; ++trial) {
    const int L = 30;
    std::vector<float> prof;
    for (int t = 0; t < L; ++t) {
      std::array<float, 20> row{};
      switch (rng() % 4) {
        case 0:  // a merged profile column: a few residues with weights
          for (int k = 0; k < 4; ++k) row[rng() % 20] += static_cast<float>(rng() % 100) / 100.0f;
          break;
        default:
          row = letter_profile(letters[rng() % letters.size()]);
      }
      prof.insert(prof.end(), row.begin(), row.end());
    }
    // Rows the tool must survive: all zero, negative and not-a-number values.
    std::fill(prof.begin() + 5 * 20, prof.begin() + 6 * 20, 0.0f);
    prof[7 * 20 + 3] = -1.0f;
    prof[8 * 20 + 4] = std::nanf("");
    const Posteriors fast = posteriors(c, prof, L);
    const Posteriors ref = reference::posteriors(m, prof, L);
    expect_same(fast, ref, 1e-10);
    EXPECT_NEAR(fast.logodds_forward, fast.logodds_backward, 1e-9);
    for (int t = 0; t < L; ++t) {
      double sum = 0.0;
      for (int s = 0; s < kModelStates; ++s) sum += fast.gamma[t * kModelStates + s];
      EXPECT_NEAR(sum, 1.0, 1e-12);
      EXPECT_EQ(fast.gamma[t * kModelStates], 0.0);
    }
  }
}

// The small model sees strong evidence at every position: the probability of
// 10,000 positions is far below the smallest double (log-odds over 10^4),
// so only the scaling keeps the posteriors finite.
TEST(LocalStructureKernel, TenThousandPositionsWithoutUnderflow) {
  std::mt19937 rng(11);
  std::string letters(10000, 'A');
  for (char& ch : letters) ch = "ACW"[rng() % 3];
  const Posteriors p = posteriors(compile_model(tiny_model()), letters_profile(letters), 10000);
  ASSERT_TRUE(std::isfinite(p.logodds_forward));
  EXPECT_GT(std::fabs(p.logodds_forward), 2000.0);
  EXPECT_NEAR(p.logodds_forward, p.logodds_backward, 1e-9 * std::fabs(p.logodds_forward));
  for (int t = 0; t < 10000; ++t) {
    const double g1 = p.gamma[t * 3 + 1], g2 = p.gamma[t * 3 + 2];
    ASSERT_TRUE(std::isfinite(g1) && std::isfinite(g2) && g1 >= 0.0 && g2 >= 0.0) << "position " << t + 1;
    ASSERT_NEAR(g1 + g2, 1.0, 1e-12) << "position " << t + 1;
  }
  // An A is most likely from state 1, a C from state 2.
  EXPECT_GT(p.gamma[static_cast<std::size_t>(letters.find('A') * 3 + 1)], 0.5);
  EXPECT_GT(p.gamma[static_cast<std::size_t>(letters.find('C') * 3 + 2)], 0.5);
}

TEST(LocalStructureKernel, PosteriorsFollowThePropensities) {
  const CompiledModel c = compile_model(bundled());
  auto run = [&](const std::string& s) { return posteriors(c, letters_profile(s), static_cast<int>(s.size())); };
  // Helix formers: the middle is helix.
  const std::string helix = "GSPAELKKLAEEAAKLLEEAGNP";
  const Posteriors h = run(helix);
  EXPECT_GT(class_mass(h, {"HELIX"}, 5, 20), 0.75);
  // Strand formers: the middle is strand.
  const std::string strand = "GDGKVIVTVYVKVNGD";
  const Posteriors e = run(strand);
  EXPECT_GT(class_mass(e, {"STRAND"}, 5, 13), 0.6);
  EXPECT_LT(class_mass(e, {"HELIX"}, 5, 13), 0.2);
  // Gly/Pro/Asn/Ser/Asp: coil, with positive phi.
  const Posteriors g = run("GPNGSDGPNGSDGPNG");
  EXPECT_GT(class_mass(g, {"COIL", "PPHI"}, 1, 16), 0.9);
  EXPECT_LT(class_mass(g, {"HELIX", "STRAND"}, 1, 16), 0.1);
}
