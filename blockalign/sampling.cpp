#include "blockalign/sampling.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "blockalign/table.hpp"

namespace xk {

namespace {

// Walks one sample backwards; visit(i, j) is called for every M step.
template <class Visit>
int walk(const LayeredSums& s, std::span<const double> pK, UniformRandom& rng, Visit&& visit) {
  const int blocks = draw_block_number(pK, rng.uniform());
  int kk = blocks, i = s.len1, j = s.len2;
  Last last = Last::None;
  while (i >= 1 && j >= 1 && kk >= 1) {
    const Odds o = predecessor_odds(s, i, j, kk, last);
    if (!o.valid) break;
    const float r = rng.uniform();
    if (r < o.pM) {
      visit(i, j, Step::Match);
      --i;
      --j;
      last = Last::Match;
    } else if (r < o.pM + o.pI) {
      if (last == Last::Match) --kk;
      visit(i, j, Step::Insert);
      --i;
      last = Last::Insert;
    } else {
      if (last == Last::Match) --kk;
      visit(i, j, Step::Delete);
      --j;
      last = Last::Delete;
    }
  }
  return blocks;
}

}  // namespace

int draw_block_number(std::span<const double> pK, float r) {
  double cumulative = 0.0;
  for (std::size_t k = 0; k < pK.size(); ++k) {
    cumulative += pK[k];
    if (r < cumulative) return static_cast<int>(k);
  }
  return 0;
}

Odds predecessor_odds(const LayeredSums& s, int i, int j, int kk, Last last) {
  assert(i >= 1 && j >= 1 && kk >= 1 && kk <= s.maxblock);
  const std::size_t c = s.cell(i, j, kk);
  double wm = s.M[c], wi, wd;
  if (last == Last::Match) {
    // Layer kk - 1 of the same row, brought to the factor of layer kk.
    const int em = s.exponent(i, kk), e0 = s.exponent(i, kk - 1);
    const int f = std::max(em, e0);
    const double scale0 = pow2_down(e0 - f);
    wm *= pow2_down(em - f);
    wi = s.I[c - 1] * scale0;
    wd = s.D[c - 1] * scale0;
  } else {
    wi = s.I[c];
    wd = last == Last::Insert ? 0.0 : s.D[c];
  }
  const double total = wm + wi + wd;
  if (!(total > 0.0) || !std::isfinite(total)) return {};
  return {wm / total, wi / total, true};
}

SampledAlignment sample_alignment(const LayeredSums& s, std::span<const double> pK, UniformRandom& rng) {
  SampledAlignment a;
  a.blocks = walk(s, pK, rng, [&](int, int, Step step) { a.steps.push_back(step); });
  return a;
}

std::vector<float> sample_match(const LayeredSums& s, std::span<const double> pK, UniformRandom& rng,
                                int samples) {
  const std::size_t n2 = static_cast<std::size_t>(s.len2);
  std::vector<float> match = make_table<float>(static_cast<std::size_t>(s.len1) * n2, "Match");
  std::vector<int> hits(match.size(), 0);
  for (int n = 0; n < samples; ++n) {
    walk(s, pK, rng, [&](int i, int j, Step step) {
      if (step == Step::Match) ++hits[static_cast<std::size_t>(i - 1) * n2 + static_cast<std::size_t>(j - 1)];
    });
  }
  const auto denom = static_cast<float>(samples);
  for (std::size_t c = 0; c < match.size(); ++c) match[c] = static_cast<float>(hits[c]) / denom;
  return match;
}

}  // namespace xk
