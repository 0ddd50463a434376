// Sampling alignments from the block-layered sums, backwards from the end.
//
// A sample draws a number of blocks kk from pK, then, starting at
// (len1, len2), repeatedly draws the predecessor of the step just taken
// (before the first step: the last step of the alignment) with probability
// proportional to its weighted sum, until i, j or kk reaches 0.  The leading
// unaligned region is not walked.  One uniform number is drawn for kk and
// one for every step.
#pragma once

#include <span>
#include <vector>

#include "blockalign/layered.hpp"
#include "blockalign/random.hpp"

namespace xk {

inline constexpr int kSampleSize = 1000;

enum class Step : char { Match = 'M', Insert = 'I', Delete = 'D' };

// The step recorded last in the backward walk (None before the first).
enum class Last { None, Match, Insert, Delete };

// Probabilities of the possible predecessors at (i, j) in layer kk
// (i, j, kk >= 1): an M step on (i, j) (pM), an I step on i (pI), a D step
// on j (1 - pM - pI).
//  * Last None or Delete: M, I and D of layer kk;
//  * Last Insert: M and I of layer kk only (no D right after an I);
//  * Last Match: M of layer kk (the block goes on) against I and D of layer
//    kk - 1 (the unaligned region before block kk).
// valid is false when no predecessor has weight, which a walk that only
// takes steps of positive weight never meets.
struct Odds {
  double pM = 0.0;
  double pI = 0.0;
  bool valid = false;
};
Odds predecessor_odds(const LayeredSums& sums, int i, int j, int kk, Last last);

// One sampled alignment: its number of blocks and its steps from the end
// (len1, len2) backwards.  An I step consumes a position of the first input,
// a D step one of the second, an M step one of each.
struct SampledAlignment {
  int blocks = 0;
  std::vector<Step> steps;
};
SampledAlignment sample_alignment(const LayeredSums& sums, std::span<const double> pK, UniformRandom& rng);

// `Match`: draws `samples` alignments and returns, for every pair (i, j),
// the number of them that align i with j divided by `samples` (in single
// precision).  len1 x len2, row-major: element (i - 1) * len2 + (j - 1).
// Created as table "Match".
std::vector<float> sample_match(const LayeredSums& sums, std::span<const double> pK, UniformRandom& rng,
                                int samples = kSampleSize);

// The block number of one sample: the first k whose running sum of pK
// exceeds r; 0 when none does.
int draw_block_number(std::span<const double> pK, float r);

}  // namespace xk
