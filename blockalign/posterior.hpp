// The block-number posterior: how likely each number of blocks k is.
#pragma once

#include <span>
#include <vector>

namespace xk {

// logP(k) = ln(Z(k) / totalcount(k)), the natural log of the mean weight of
// the alignments with exactly k blocks, k = 0..maxblock, from log_z(k) =
// ln Z(k) (log_z(0) = 0, so logP(0) = 0) and the alignment counts.  A layer
// with Z(k) = 0 gets -infinity.  Created as table "logP".
std::vector<double> mean_log_weights(std::span<const double> log_z, std::span<const double> totalcount);

// pK: best = the largest logP (at least logP(0) = 0), threshold = best - 4;
// pK(k) = 0 when logP(k) < threshold (or is not a number), else
// exp(logP(k) - threshold); then pK is scaled to sum 1.  So a block number
// whose mean weight is below e^-4 times the best one is never drawn.
// Created as table "pK".
std::vector<double> block_probabilities(std::span<const double> logP);

}  // namespace xk
