// Synthetic inputs for the scoring tests: frequency files in the data-file
// layout, realistic gamma tables and profiles.
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "readers/gamma.hpp"
#include "scoring/frequencies.hpp"
#include "tools/mkprof.hpp"

namespace xktest {

// One 15-column field: with a decimal point, or as digits with 7 implied
// decimals.
inline std::string freq_field(float v, bool implied = false) {
  char buf[64];
  if (implied) std::snprintf(buf, sizeof buf, "%15lld", std::llround(static_cast<double>(v) * 1e7));
  else std::snprintf(buf, sizeof buf, "%15.7f", static_cast<double>(v));
  return buf;
}

// An "observed" file of matrix1 (state-major layout), each block followed by
// `separators` (two lines, the second blank for a well-formed file).
inline std::string observed_text(const std::vector<float>& m1, const std::string& separators = "state\n\n",
                                 bool implied = false) {
  std::string out;
  for (int s = 1; s <= xk::kScoredStates; ++s) {
    for (int a = 1; a <= 20; ++a) {
      for (int b = 1; b <= 20; ++b) out += freq_field(m1[xk::m1_index(a, b, s)], implied);
      out += '\n';
    }
    out += separators;
  }
  return out;
}

inline std::string expected_text(const std::vector<float>& m2, bool implied = false) {
  std::string out;
  for (int s = 1; s <= xk::kScoredStates; ++s) {
    for (int a = 1; a <= 20; ++a) out += freq_field(m2[xk::m2_index(a, s)], implied);
    out += '\n';
  }
  return out;
}

// Frequency tables shaped like real ones: a heavier diagonal, values on the
// 7-decimal grid, a few exact zeros; expected frequencies positive.  The
// lower triangle of each pair table holds other values than the upper one
// (only the upper one is scored, both enter the normalising sums).
inline xk::FrequencyTables synthetic_tables(unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> u(0.0f, 1.0f);
  xk::FrequencyTables t;
  t.matrix1.assign(20 * 20 * xk::kScoredStates, 0.0f);
  t.matrix2.assign(20 * xk::kScoredStates, 0.0f);
  auto grid = [](float v) { return static_cast<float>(std::round(static_cast<double>(v) * 1e7) / 1e7); };
  for (int s = 1; s <= xk::kScoredStates; ++s) {
    for (int a = 1; a <= 20; ++a)
      for (int b = a; b <= 20; ++b) {
        float v = u(rng);
        v = v * v * (a == b ? 0.02f : 0.004f);
        if (u(rng) < 0.02f) v = 0.0f;
        t.matrix1[xk::m1_index(a, b, s)] = grid(v);
        if (b != a) t.matrix1[xk::m1_index(b, a, s)] = grid(v * 3.0f * u(rng));
      }
    for (int a = 1; a <= 20; ++a) t.matrix2[xk::m2_index(a, s)] = grid(0.0001f + 0.0003f * u(rng));
  }
  return t;
}

// The loading step's pseudo-counts on a table made in memory.
inline void add_pseudo_counts(xk::FrequencyTables& t) {
  for (float& x : t.matrix1) x = x + 1.0e-9f * 1.0e-9f;
  for (float& x : t.matrix2) x = x + 1.0e-9f;
}

// n gamma rows: a softmax with a few dominant states and small values
// elsewhere, on the 6-decimal grid of the gamma files (so most states are 0);
// row `zero_row` (if any) is all 0.
inline std::vector<float> realistic_gamma(int n, std::mt19937& rng, int zero_row = -1) {
  std::vector<float> g(static_cast<std::size_t>(n) * xk::kStates, 0.0f);
  std::normal_distribution<double> noise(0.0, 1.5);
  std::uniform_int_distribution<int> state(0, xk::kStates - 1);
  for (int i = 0; i < n; ++i) {
    if (i == zero_row) continue;
    std::vector<double> logit(xk::kStates);
    for (double& l : logit) l = noise(rng) - 4.0;
    for (int k = 0; k < 3; ++k) logit[static_cast<std::size_t>(state(rng))] += 8.0 - 2.0 * k;
    double total = 0.0;
    for (double& l : logit) total += (l = std::exp(l));
    for (int s = 0; s < xk::kStates; ++s)
      g[static_cast<std::size_t>(i) * xk::kStates + static_cast<std::size_t>(s)] =
          static_cast<float>(std::round(logit[static_cast<std::size_t>(s)] / total * 1e6) / 1e6);
  }
  return g;
}

// Profile rows.  dense: a Dirichlet-like draw over all 20 residues; sparse:
// 1 to 3 residues, as in a merged profile of few sequences; converter: the
// converter's rows of residue letters and of "X", "B", "Z".
enum class RowKind { dense, sparse, converter };

inline std::vector<float> profile_rows(int n, RowKind kind, std::mt19937& rng) {
  std::vector<float> w(static_cast<std::size_t>(n) * 20, 0.0f);
  std::gamma_distribution<float> gam(0.4f, 1.0f);
  std::uniform_int_distribution<int> residue(0, 19), extra(0, 2);
  static const char kLetters[] = "ACDEFGHIKLMNPQRSTVWYXBZAAGL";
  std::uniform_int_distribution<int> letter(0, 26);
  for (int i = 0; i < n; ++i) {
    float* row = w.data() + static_cast<std::size_t>(i) * 20;
    if (kind == RowKind::converter) {
      const auto v = xk::letter_profile(kLetters[letter(rng)]);
      std::copy(v.begin(), v.end(), row);
      continue;
    }
    if (kind == RowKind::dense) {
      for (int a = 0; a < 20; ++a) row[a] = gam(rng) + 1e-4f;
    } else {
      const int k = 1 + extra(rng);
      for (int r = 0; r < k; ++r) row[residue(rng)] += gam(rng) + 0.05f;
    }
    float total = 0.0f;
    for (int a = 0; a < 20; ++a) total += row[a];
    for (int a = 0; a < 20; ++a) row[a] /= total;
  }
  return w;
}

}  // namespace xktest
