#include "blockalign/reference.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace xk::reference {

namespace {

void initial_values(BlockTables& t) {
  std::fill(t.M.begin(), t.M.end(), 0.0);
  std::fill(t.I.begin(), t.I.end(), 0.0);
  std::fill(t.D.begin(), t.D.end(), 0.0);
  for (int i = 0; i <= t.len1; ++i) {
    t.I[t.at(i, 0, 0)] = 1.0;
    for (int j = 1; j <= t.len2; ++j) t.D[t.at(i, j, 0)] = 1.0;
  }
}

double corner(const BlockTables& t, int k) {
  const std::size_t c = t.at(t.len1, t.len2, k);
  return t.M[c] + t.I[c] + t.D[c];
}

// One layer; weights empty for the counting pass.
void layer(BlockTables& t, int k, const std::vector<double>& weights) {
  for (int i = 1; i <= t.len1; ++i) {
    for (int j = 1; j <= t.len2; ++j) {
      const std::size_t d = t.at(i - 1, j - 1, k), d0 = t.at(i - 1, j - 1, k - 1);
      double m = t.M[d] + t.I[d0] + t.D[d0];
      if (!weights.empty()) m *= weights[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(t.len2) +
                                         static_cast<std::size_t>(j - 1)];
      t.M[t.at(i, j, k)] = m;
      t.I[t.at(i, j, k)] = t.M[t.at(i - 1, j, k)] + t.I[t.at(i - 1, j, k)];
      t.D[t.at(i, j, k)] = t.M[t.at(i, j - 1, k)] + t.I[t.at(i, j - 1, k)] + t.D[t.at(i, j - 1, k)];
    }
  }
}

}  // namespace

std::vector<double> pair_weights(std::span<const float> exponents) {
  std::vector<double> w(exponents.size());
  for (std::size_t c = 0; c < w.size(); ++c) w[c] = static_cast<double>(std::pow(2.0f, exponents[c]));
  return w;
}

BlockTables block_sums(int len1, int len2, int maxblock, std::span<const float> exponents) {
  return block_sums(len1, len2, maxblock, std::span<const double>(pair_weights(exponents)));
}

BlockTables block_sums(int len1, int len2, int maxblock, std::span<const double> weights) {
  BlockTables t;
  t.len1 = len1;
  t.len2 = len2;
  t.maxblock = maxblock;
  const std::size_t n = static_cast<std::size_t>(maxblock + 1) * static_cast<std::size_t>(len1 + 1) *
                        static_cast<std::size_t>(len2 + 1);
  t.M.assign(n, 0.0);
  t.I.assign(n, 0.0);
  t.D.assign(n, 0.0);
  const std::size_t layers = static_cast<std::size_t>(maxblock) + 1;
  t.totalcount.assign(layers, 0.0);
  t.first_count.assign(layers, 0.0);
  t.count.assign(layers, 0.0);
  t.scale.assign(layers, 0.0);
  t.totalcount[0] = t.first_count[0] = t.count[0] = t.scale[0] = 1.0;

  initial_values(t);
  for (int k = 1; k <= maxblock; ++k) {
    layer(t, k, {});
    t.totalcount[k] = corner(t, k);
  }

  initial_values(t);
  const std::vector<double> w(weights.begin(), weights.end());
  for (int k = 1; k <= maxblock; ++k) {
    layer(t, k, w);
    t.first_count[k] = t.count[k] = corner(t, k);
    t.scale[k] = 1.0 / t.count[k];
    for (auto* table : {&t.M, &t.I, &t.D}) {
      for (int i = 0; i <= len1; ++i) {
        for (int j = 0; j <= len2; ++j) (*table)[t.at(i, j, k)] *= t.scale[k];
      }
    }
    t.count[k] = corner(t, k);
  }
  return t;
}

void block_posterior(const BlockTables& t, std::vector<double>& logP, std::vector<double>& pK) {
  const std::size_t layers = static_cast<std::size_t>(t.maxblock) + 1;
  logP.assign(layers, 0.0);
  pK.assign(layers, 0.0);
  double acc = 0.0, best = 0.0;
  for (std::size_t k = 0; k < layers; ++k) {
    acc += std::log(t.scale[k]);
    logP[k] = std::log(t.count[k] / t.totalcount[k]) - acc;
    if (logP[k] > best) best = logP[k];
  }
  const double threshold = best - 4.0;
  double s = 0.0;
  for (std::size_t k = 0; k < layers; ++k) {
    pK[k] = logP[k] < threshold ? 0.0 : std::exp(logP[k] - threshold);
    s += pK[k];
  }
  for (double& p : pK) p /= s;
}

Odds predecessor_odds(const BlockTables& t, int i, int j, int kk, Last last) {
  const std::size_t c = t.at(i, j, kk);
  double total;
  Odds o;
  if (last == Last::Match) {
    const double s = t.scale[kk];
    const std::size_t c0 = t.at(i, j, kk - 1);
    total = t.M[c] + s * t.I[c0] + s * t.D[c0];
    o.pM = t.M[c] / total;
    o.pI = s * t.I[c0] / total;
  } else if (last == Last::Insert) {
    total = t.M[c] + t.I[c];
    o.pM = t.M[c] / total;
    o.pI = t.I[c] / total;
  } else {
    total = t.M[c] + t.I[c] + t.D[c];
    o.pM = t.M[c] / total;
    o.pI = t.I[c] / total;
  }
  o.valid = total > 0.0;
  return o;
}

std::vector<float> sample_match(const BlockTables& t, std::span<const double> pK, UniformRandom& rng, int samples) {
  const std::size_t n2 = static_cast<std::size_t>(t.len2);
  std::vector<float> match(static_cast<std::size_t>(t.len1) * n2, 0.0f);
  for (int n = 0; n < samples; ++n) {
    int i = t.len1, j = t.len2;
    const float r0 = rng.uniform();
    double cumulative = 0.0;
    int kk = 0;
    for (int k = 0; k <= t.maxblock; ++k) {
      cumulative += pK[static_cast<std::size_t>(k)];
      if (r0 < cumulative) {
        kk = k;
        break;
      }
    }
    bool after_match = false;
    Last last = Last::None;
    while (i >= 1 && j >= 1 && kk >= 1) {
      const Odds o = predecessor_odds(t, i, j, kk, last);
      const float r = rng.uniform();
      if (r < o.pM) {
        match[static_cast<std::size_t>(i - 1) * n2 + static_cast<std::size_t>(j - 1)] += 1.0f;
        --i;
        --j;
        after_match = true;
        last = Last::Match;
      } else if (r < o.pM + o.pI) {
        if (after_match) --kk;
        --i;
        after_match = false;
        last = Last::Insert;
      } else {
        if (after_match) --kk;
        --j;
        after_match = false;
        last = Last::Delete;
      }
    }
  }
  for (float& m : match) m /= static_cast<float>(samples);
  return match;
}

}  // namespace xk::reference
