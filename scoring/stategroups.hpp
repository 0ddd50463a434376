// Local-structure states that share one 20 x 20 pair-frequency block.
//
// A frequency table built per class of states holds the same block for
// every state of a class.  Then, for a group g of such states with block
// B_g, num(i, j, lo, hi) = sum_g B_g(lo, hi) H_g(i, j) with
// H_g(i, j) = sum_{s in g} g1(i, s) g2(j, s), and den(i, j) = sum_g H_g(i, j):
// one product per group instead of one per residue pair, the same sums up to
// the order of the additions.
#pragma once

#include <span>
#include <vector>

namespace xk {

// Up to this many groups the grouped scorer is used; a table with more
// distinct blocks takes the per-pair products.
inline constexpr int kMaxStateGroups = 64;

struct StateGroups {
  std::vector<int> states;  // scored state columns 0..280 (state s at s - 1), group after group
  std::vector<int> start;   // groups + 1 offsets into `states`
  std::vector<float> pair;  // 210 x groups: the group's block entry of each residue pair lo <= hi

  int count() const { return start.empty() ? 0 : static_cast<int>(start.size()) - 1; }
};

// Groups the states whose upper-triangle block entries (lo <= hi) are equal
// bit for bit.  pair_by_state: 210 x 281, pairs lo-major, states 1..281 (as
// ScoringTables::pair_by_state).  Groups are numbered by their first state;
// within a group states keep their order.  Returns no groups (count() 0)
// when there are more than kMaxStateGroups.
StateGroups group_states(std::span<const float> pair_by_state);

}  // namespace xk
