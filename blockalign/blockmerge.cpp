#include "blockalign/blockmerge.hpp"

#include <future>
#include <utility>

#include "blockalign/layered.hpp"
#include "blockalign/merge.hpp"
#include "blockalign/posterior.hpp"
#include "blockalign/random.hpp"
#include "blockalign/sampling.hpp"

namespace xk {

BlockMergeResult block_merge(int len1, int len2, int maxblock, std::span<const float> exponents,
                             std::span<const float> pro1, std::span<const float> pro2,
                             std::optional<std::uint64_t> seed, LayeredTables* keep, unsigned threads) {
  BlockMergeResult r;
  {
    std::future<std::vector<double>> counted;
    if (threads > 1) counted = std::async(std::launch::async, count_alignments, len1, len2, maxblock);
    LayeredSums sums = weighted_pass(len1, len2, maxblock, pair_weights(exponents), keep);
    r.totalcount = counted.valid() ? counted.get() : count_alignments(len1, len2, maxblock);
    r.logP = mean_log_weights(sums.log_z, r.totalcount);
    r.pK = block_probabilities(r.logP);
    UniformRandom rng = initrand(seed);
    r.match = sample_match(sums, r.pK, rng);
    if (keep != nullptr) keep_tables(std::move(sums), *keep);
  }
  r.outprofile = merge_profiles(len1, len2, pro1, pro2, r.match);
  return r;
}

}  // namespace xk
