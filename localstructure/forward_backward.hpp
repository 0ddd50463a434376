// Posterior state probabilities of a profile under the local-structure model
// (forward-backward algorithm).
//
// Profile: L x 20 single-precision values, row-major, row t-1 = position t,
// order "ACDEFGHIKLMNPQRSTVWY".  The emission of position t under state s is
//   b_t(s) = sum_a v_t(a) e_s(a) / p(a),
// p the model's background; a one-hot row gives e_s(a)/p(a), a background
// row ("X") about 1 for every state.  Negative and non-finite values count
// as 0; a row with no positive value carries no information (b = 1).
//
// Result: gamma, L x 282 doubles, row-major, entry (t-1)*282 + s = the
// posterior probability of state s at position t (column 0, the begin state,
// is 0); each row sums to 1.  The log-odds are the natural logarithm of the
// profile's likelihood under the model over its likelihood under the
// background (the product of the b_t), from the forward and from the
// backward pass: they agree up to rounding.  L = 0 gives an empty table and
// log-odds 0.
#pragma once

#include <span>
#include <vector>

#include "common/large_pages.hpp"
#include "localstructure/model.hpp"

namespace xk::ls {

struct Posteriors {
  int length = 0;
  // length x 282; from about 100 positions up it is held in large pages:
  // this table is most of the memory the tool touches.
  std::vector<double, LargePageAllocator<double>> gamma;
  double logodds_forward = 0.0;
  double logodds_backward = 0.0;
};

// The model laid out for the fast kernel: transitions by target and by
// source (states 1..281), the begin distribution, and the distinct emission
// rows divided by the background.  Read-only once built.
struct CompiledModel {
  int states = 0;                       // 282
  std::vector<double> begin;            // per state; begin[0] = 0
  std::vector<int> in_start, in_from;   // CSR by target: in_from[in_start[j]..in_start[j+1])
  std::vector<double> in_prob;
  std::vector<int> out_start, out_to;   // CSR by source
  std::vector<double> out_prob;
  std::vector<int> row_of_state;        // distinct emission row of each state (-1 for state 0)
  std::vector<double> odds;             // 20 x distinct rows, by residue: odds[a * rows + r] = e_r(a) / p(a)
  int rows = 0;                         // number of distinct emission rows
  bool odds_finite = true;              // no odds is infinite (a background of nearly 0 could make one)
};

CompiledModel compile_model(const StructureModel& model);

// The 20 weights the emission uses for one profile row: the values, with
// negative and non-finite ones as 0.
void column_weights(std::span<const float, 20> row, std::span<double, 20> out);

// Scaled forward-backward over the sparse transitions: O(L x transitions).
Posteriors posteriors(const CompiledModel& model, std::span<const float> profile, int length);

namespace reference {
// The defining recursions in log space over the dense 282 x 282 transition
// table, one state pair at a time.  For tests and benchmarks only.
Posteriors posteriors(const StructureModel& model, std::span<const float> profile, int length);
}  // namespace reference

}  // namespace xk::ls
