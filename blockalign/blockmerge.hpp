// The block aligner's phases in order, from the pair exponents to the merged
// distribution, with no file access and no printing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "blockalign/layered.hpp"

namespace xk {

struct BlockMergeResult {
  std::vector<double> totalcount;  // k = 0..maxblock
  std::vector<double> logP;        // k = 0..maxblock
  std::vector<double> pK;          // k = 0..maxblock
  std::vector<float> match;        // len1 x len2, row-major
  std::vector<double> outprofile;  // max(len1, len2) x 20, row-major
};

// exponents: len1 x len2 pair exponents (scores doubled plus bias), pro1:
// len1 x 20, pro2: len2 x 20.  Builds the block-layered sums (maxblock
// layers), the posterior over the number of blocks, seeds the generator
// with initrand(seed) (nullopt: from the clock), draws kSampleSize
// alignments into `match` and merges the profiles.  The layered tables are
// released before the merge, or handed back to `keep` (see LayeredTables)
// when it is given.  With threads > 1 the alignment counts (which depend on
// the lengths only) are made on a second thread beside the weighted sums;
// the result does not depend on it.
BlockMergeResult block_merge(int len1, int len2, int maxblock, std::span<const float> exponents,
                             std::span<const float> pro1, std::span<const float> pro2,
                             std::optional<std::uint64_t> seed, LayeredTables* keep = nullptr,
                             unsigned threads = 1);

}  // namespace xk
