// Plain versions of the block aligner's arithmetic, written exactly as the
// method defines it: both passes over layer-major tables, each layer
// rescaled only after it is complete, the posterior from the per-layer
// factors and the sampler on those tables.  They overflow for related
// inputs of a few hundred positions and are kept for tests and benchmarks
// only, as the yardstick of the fast versions.
#pragma once

#include <span>
#include <vector>

#include "blockalign/random.hpp"
#include "blockalign/sampling.hpp"

namespace xk::reference {

struct BlockTables {
  int len1 = 0;
  int len2 = 0;
  int maxblock = 0;
  std::vector<double> M, I, D;        // layer-major: ((k * (len1 + 1)) + i) * (len2 + 1) + j
  std::vector<double> totalcount;     // counting pass
  std::vector<double> first_count;    // corner sum of layer k before its rescaling: Z(k) / Z(k-1)
  std::vector<double> count;          // corner sum after the rescaling (1 up to rounding)
  std::vector<double> scale;          // 1 / first_count

  std::size_t at(int i, int j, int k) const {
    return (static_cast<std::size_t>(k) * static_cast<std::size_t>(len1 + 1) + static_cast<std::size_t>(i)) *
               static_cast<std::size_t>(len2 + 1) +
           static_cast<std::size_t>(j);
  }
};

// 2^x computed in single precision, used as a double.
std::vector<double> pair_weights(std::span<const float> exponents);

// The counting pass, then the weighted pass with per-layer rescaling, on
// the same three tables.  The weights are len1 x len2 (pair_weights of the
// exponents, or given directly to compare with other arithmetic on the
// same weights).
BlockTables block_sums(int len1, int len2, int maxblock, std::span<const double> weights);
BlockTables block_sums(int len1, int len2, int maxblock, std::span<const float> exponents);

// logP and pK from count, scale and totalcount (acc = running sum of
// ln scale(k)).
void block_posterior(const BlockTables& t, std::vector<double>& logP, std::vector<double>& pK);

// The predecessor probabilities of the sampler, from the layer-scaled
// tables (after an M step layer kk - 1 is multiplied by scale(kk)).
Odds predecessor_odds(const BlockTables& t, int i, int j, int kk, Last last);

// 1000 (or `samples`) backward walks into Match, len1 x len2 row-major.
std::vector<float> sample_match(const BlockTables& t, std::span<const double> pK, UniformRandom& rng,
                                int samples = kSampleSize);

}  // namespace xk::reference
