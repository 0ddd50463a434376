// The engine behind score_sequences / score_profiles: position-pair scores
// of two weighted inputs as matrix products.
//
// den(i, j) = sum_s g1(i,s) g2(j,s) is one product of the two gamma tables,
// made straight into mij.  For a residue pair (lo, hi),
// num(i, j) = sum_s g1(i,s) P(lo,hi,s) g2(j,s) is the product of g1 scaled
// state-wise by P(lo,hi,.) with g2 transposed.
// As score(i,j,a,b) = score(i,j,b,a), each unordered pair is computed once
// and weighted by c = w1(i,lo) w2(j,hi) + w1(i,hi) w2(j,lo) (one term when
// lo = hi):  mij(i,j) = sum over pairs of c * (log2(num / den) - log2(f p p)).
//
// Only the pairs that some weight can reach are computed: the positions of
// one input (the "columns") are grouped by the set of residues with a
// positive weight (rare sets share a group under the union of their sets),
// and for each position i of the other input only the pairs between its own
// residues and its group's residues enter the product.  The input that makes
// the cheaper grouping plays the columns.
//
// When the frequency table's states fall into few groups with equal blocks
// (scoring/stategroups.hpp), the products are made per state group instead:
// H_g(i, j) = sum over the group's states of g1(i,s) g2(j,s), then
// den = sum_g H_g and num(lo,hi) = sum_g B_g(lo,hi) H_g, for the same
// reachable pairs as above.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "common/vector_path.hpp"
#include "scoring/scores.hpp"

namespace xk::detail {

inline constexpr int kPairs = 210;  // unordered residue pairs lo <= hi

// 0-based residues lo <= hi; pairs numbered lo-major.
inline constexpr int pair_index(int lo, int hi) { return lo * kAminoAcids - lo * (lo - 1) / 2 + (hi - lo); }

// Fills the derived members of `t` from its pair table and background.
void derive_pair_tables(ScoringTables& t);

// Working sizes and vector path; the defaults suit the product routine,
// tests shrink the sizes to reach every tile and block edge with small
// inputs and choose each path the processor runs.
struct ScoreTiling {
  int tile_columns = 256;  // column positions per product
  int block_rows = 480;    // product rows gathered before each product
  int min_group = 8;       // smaller residue-set groups join the rare group
  VectorPath path = best_vector_path();  // of the products and the log sums
  int grouped_rows = 64;   // row positions per block of the grouped scorer
  bool state_groups = true;  // false: the per-pair products even when the states group
  int band_rows = 128;     // first-input positions scored as one piece of work
};

// One input: n positions, their weights (n x 20, a weight counts where it
// is > 0), their gamma table (n x 282) and the amount added to every gamma
// entry before scoring.  `ordered`, when not empty, holds what the scorer
// reads of the gamma table when the tables group their states, made once
// (state_ordered_rows): n rows of the 281 scored states in state-group
// order, `add` already added; the gamma table may then be empty where the
// tables group their states.
struct ScoreSide {
  int n = 0;
  std::span<const float> weights;
  std::span<const float> gamma;
  float add = 0.0f;
  std::span<const float> ordered = {};
  // What the grouped scorer makes of this input as its columns, made once
  // (make_column_form) from this very input; used only with the tables and
  // tiling it was made for.
  const ColumnForm* form = nullptr;
};

// The column form of an input for the tables `t` (their prepared, grouped
// form) and tiling.min_group; null when the tables do not group their
// states.  The scores do not change by using it.
std::shared_ptr<const ColumnForm> make_column_form(const ScoringTables& t, const ScoreSide& s,
                                                   const ScoreTiling& tiling = {});

// The ordered rows of a gamma table (n x 282) for ScoreSide::ordered: each
// position's scored states in the groups' order, `add` added, so an input
// scored against many others is reordered once.  Empty when the groups are.
std::vector<float> state_ordered_rows(const StateGroups& groups, std::span<const float> gamma, int n, float add);

// What score_pairs takes off every score: `share` times the score of the
// same positions under `tables` (none when null).
struct ScoreLess {
  const ScoringTables* tables = nullptr;
  float share = 0.0f;
};

// Whether two prepared tables group their states alike (the same states in
// the same groups), so that their scores share the group sums.
bool same_state_groups(const ScoringTables& a, const ScoringTables& b);

// Fills mij (first.n x second.n, row-major; by columns, mij[j * first.n +
// i], when `by_columns`) completely.  The first input's positions are
// scored in bands of tiling.band_rows, on up to `threads` threads (the
// calling one included); the values depend neither on the number of
// threads nor on the order in memory.  With `less`, every entry is
// score - share x (score under less.tables), to the bit as the two tables
// scored apart and then combined; where the tables group their states
// alike, in one pass over the group sums.
void score_pairs(const ScoringTables& t, const ScoreSide& first, const ScoreSide& second, std::span<float> mij,
                 const ScoreTiling& tiling = {}, unsigned threads = 1, bool by_columns = false, ScoreLess less = {});

}  // namespace xk::detail
