// Posterior probabilities of aligned residue pairs under a pair model of
// two sequences with free end gaps: a match state that emits a residue
// pair with odds 2^(scale x score), two gap states, and unaligned ends of
// either sequence at no cost.  The accurate mode keeps them as its library
// of the all-pairs alignments.
#pragma once

#include <span>
#include <vector>

namespace xk::accurate {

struct PairModel {
  double scale = 1.0;  // odds of a match: 2^(scale x score), score in bits
  double open = 0.02;  // probability of leaving the match state for either gap state
  double extend = 0.8; // probability of staying in a gap state
  float floor = 0.01f; // posteriors below this are not kept
};

// One residue pair's posterior: residue j (from 1) of the second sequence.
struct PairEntry {
  int j = 0;
  float p = 0.0f;
};

// Sparse posteriors: the entries of residue i (from 1) of the first
// sequence are entries[start[i - 1] .. start[i]), j increasing.
struct SparsePosterior {
  std::vector<int> start;  // len1 + 1 offsets
  std::vector<PairEntry> entries;

  // The entries of residue i (from 1); none past the first sequence's end.
  std::span<const PairEntry> of(std::size_t i) const {
    if (i < 1 || i >= start.size()) return {};
    const auto from = static_cast<std::size_t>(start[i - 1]), to = static_cast<std::size_t>(start[i]);
    return std::span<const PairEntry>(entries).subspan(from, to - from);
  }
};

// scores: len1 x len2, row-major, element (i - 1) * len2 + (j - 1) the score
// (bits) of residue i of the first sequence against residue j of the
// second.  Forward and backward in double precision with every row
// rescaled; keeps the pairs whose posterior is at least model.floor.  An
// empty sequence gives no entries.  Pure.
SparsePosterior pair_posterior(int len1, int len2, std::span<const float> scores, const PairModel& model);

// The same posteriors, dense (len1 x len2, none left out), by the plain
// recurrences in log space: the reference the rescaled kernel is held to.
std::vector<double> pair_posterior_reference(int len1, int len2, std::span<const float> scores,
                                             const PairModel& model);

}  // namespace xk::accurate
