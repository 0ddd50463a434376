// The alignment of one join that the block aligner's samples support best:
// the path through `Match` with the highest summed frequencies.
#pragma once

#include <span>
#include <utility>
#include <vector>

namespace xk {

// A join's aligned position pairs (i, j), i of the first input and j of
// the second, both from 1 and strictly increasing along the path.
using MatchPath = std::vector<std::pair<int, int>>;

// match: len1 x len2, row-major, element (i - 1) * len2 + (j - 1) the share
// of the samples that align i with j (sample_match).  Returns the pairs of
// the monotone alignment whose matched pairs have the largest sum of
// `match`; only pairs of positive frequency are matched, gaps cost nothing.
// Of equal sums the traceback from (len1, len2) keeps the match first, then
// a position of the first input left unaligned, then one of the second.
// Sums are taken in double precision.
MatchPath best_supported_path(int len1, int len2, std::span<const float> match);


}  // namespace xk
