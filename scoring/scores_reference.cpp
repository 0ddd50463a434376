// The defining loops of the position-pair scores, in their order and in
// single precision, every product and sum rounded on its own.  Kept to hold
// the fast scorer to; no program calls these.
#include <cassert>
#include <cmath>

#include "common/residues.hpp"
#include "scoring/scores.hpp"

namespace xk::reference {

namespace {

constexpr int kG = 282;  // gamma columns, states 0..281

struct Prepared {
  const float* m1;
  float p[21];  // p(a), a = 1..20
};

// P1 to P5.
Prepared prepare(int n1, int n2, std::span<float> gamma1, std::span<float> gamma2, FrequencyTables& tables,
                 std::span<float> mij) {
  assert(gamma1.size() >= static_cast<std::size_t>(n1) * kG && gamma2.size() >= static_cast<std::size_t>(n2) * kG);
  assert(mij.size() >= static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2));
  for (std::size_t k = 0; k < static_cast<std::size_t>(n1) * kG; ++k) gamma1[k] = gamma1[k] + 1.0e-9f;
  for (std::size_t k = 0; k < static_cast<std::size_t>(n2) * kG; ++k) gamma2[k] = gamma2[k] + 1.0e-9f;
  float* m1 = tables.matrix1.data();
  for (int s = 1; s <= kScoredStates; ++s) {
    float t = 0.0f;
    for (int a = 1; a <= 20; ++a)
      for (int b = 1; b <= 20; ++b) t = t + m1[m1_index(a, b, s)];
    if (t > 0.0f)
      for (int a = 1; a <= 20; ++a)
        for (int b = 1; b <= 20; ++b) m1[m1_index(a, b, s)] = m1[m1_index(a, b, s)] / t;
  }
  float* m2 = tables.matrix2.data();
  float e = 0.0f;
  for (int s = 1; s <= kScoredStates; ++s)
    for (int a = 1; a <= 20; ++a) e = e + m2[m2_index(a, s)];
  for (int s = 1; s <= kScoredStates; ++s)
    for (int a = 1; a <= 20; ++a) m2[m2_index(a, s)] = m2[m2_index(a, s)] / e;
  Prepared pr{m1, {}};
  for (int a = 1; a <= 20; ++a) {
    float p = 0.0f;
    for (int s = 1; s <= kScoredStates; ++s) p = p + m2[m2_index(a, s)];
    pr.p[a] = p;
  }
  for (std::size_t k = 0; k < static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2); ++k) mij[k] = 0.0f;
  return pr;
}

// Pair score of positions i, j (from 1) for amino acids a, b (from 1).
float pair_score(const Prepared& pr, const float* gamma1, const float* gamma2, int i, int j, int a, int b) {
  const int lo = a < b ? a : b, hi = a < b ? b : a;
  const float* g1 = gamma1 + static_cast<std::size_t>(i - 1) * kG;
  const float* g2 = gamma2 + static_cast<std::size_t>(j - 1) * kG;
  float num = 0.0f, den = 0.0f;
  for (int s = 1; s <= kScoredStates; ++s) {
    const float t = g1[s] * pr.m1[m1_index(lo, hi, s)];
    num = g2[s] * t + num;
    den = g2[s] * g1[s] + den;
  }
  const float q = num / den;
  const float x = a == b ? q / (pr.p[a] * pr.p[b]) : q / (2.0f * pr.p[a] * pr.p[b]);
  return std::log10(x) / 0.30102998f;
}

}  // namespace

void makemij(int n1, int n2, std::string_view seq1, std::string_view seq2, std::span<float> gamma1,
             std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij) {
  const Prepared pr = prepare(n1, n2, gamma1, gamma2, tables, mij);
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j) {
      const int a = static_cast<std::size_t>(i) <= seq1.size() ? alphabet_class(seq1[static_cast<std::size_t>(i - 1)]) : 0;
      const int b = static_cast<std::size_t>(j) <= seq2.size() ? alphabet_class(seq2[static_cast<std::size_t>(j - 1)]) : 0;
      if (a >= 1 && a <= 20 && b >= 1 && b <= 20)
        mij[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n2) + static_cast<std::size_t>(j - 1)] =
            pair_score(pr, gamma1.data(), gamma2.data(), i, j, a, b);
    }
}

void makedrctmij(int n1, int n2, std::span<const float> w1, std::span<const float> w2, std::span<float> gamma1,
                 std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij) {
  assert(w1.size() >= static_cast<std::size_t>(n1) * 20 && w2.size() >= static_cast<std::size_t>(n2) * 20);
  const Prepared pr = prepare(n1, n2, gamma1, gamma2, tables, mij);
  for (int i = 1; i <= n1; ++i)
    for (int j = 1; j <= n2; ++j) {
      float& out = mij[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n2) + static_cast<std::size_t>(j - 1)];
      for (int a = 1; a <= 20; ++a)
        for (int b = 1; b <= 20; ++b) {
          const float wa = w1[static_cast<std::size_t>(i - 1) * 20 + static_cast<std::size_t>(a - 1)];
          const float wb = w2[static_cast<std::size_t>(j - 1) * 20 + static_cast<std::size_t>(b - 1)];
          if (wa > 0.0f && wb > 0.0f) out = wb * wa * pair_score(pr, gamma1.data(), gamma2.data(), i, j, a, b) + out;
        }
    }
}

}  // namespace xk::reference
