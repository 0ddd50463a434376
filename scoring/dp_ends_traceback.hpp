// The border values, end-cell choice and traceback of the aligner with fixed
// ends, shared by the two-column aligner and its full-table reference.
#pragma once

#include <climits>
#include <limits>
#include <string>

#include "scoring/dp_ends.hpp"
#include "scoring/dp_traceback.hpp"

namespace xk::dp_ends_detail {

inline constexpr float kNone = -std::numeric_limits<float>::infinity();

// Column 0 and row 0: M(0, 0) = 0 is the start; a late start of an input
// is M = 0 on its border, otherwise its leading positions stand against a
// gap (I(i, 0) = -go - (i-1) ge, D(0, j) likewise).
inline float border_m(int k, bool free_start) { return k == 0 || free_start ? 0.0f : kNone; }
inline float border_gap(int k, bool free_start, float go, float ge) {
  return k == 0 || free_start ? kNone : -go - static_cast<float>(k - 1) * ge;
}
// The letter of a border gap cell: its predecessor is the start, or the gap
// run itself.
inline char border_letter(int k, char run) { return k == 1 ? 'M' : run; }

// Whether cell (i, j) may end the alignment.
inline bool may_end(int i, int j, int n1, int n2, FreeEnds e) {
  return (j == n2 && (e.first_end || i == n1)) || (i == n1 && (e.second_end || j == n2));
}

// Keeps the first (column-major order) candidate holding the largest value.
struct Tracker {
  dp_detail::Best best{kNone, -1, -1};
  bool found = false;
  void offer(float v, int i, int j) {
    if (!found || v > best.value) best = {v, i, j}, found = true;
  }
};

// letter(state, i, j): the letter of cell (i, j) in the letter matrix of
// `state`, border cells included.
template <class Letter>
DpResult trace(int n1, int n2, const dp_detail::Best& bm, const dp_detail::Best& bi, const dp_detail::Best& bd,
               Letter letter) {
  float best = bm.value;
  if (bi.value > best) best = bi.value;
  if (bd.value > best) best = bd.value;
  char state = 'M';
  int i = bm.i, j = bm.j;
  if (best == bi.value) state = 'I', i = bi.i, j = bi.j;
  if (best == bd.value) state = 'D', i = bd.i, j = bd.j;

  DpResult r;
  const int len = n1 + n2 + 1;
  r.path.assign(static_cast<std::size_t>(len), ' ');
  auto is_start = [](char s, int a, int b) { return s == 'M' && (a == 0 || b == 0); };
  int k = 0;
  r.path[static_cast<std::size_t>(k++)] = state;
  // Next positions: the first cell's (cell after the start).
  int fi = i + 1, fj = j + 1;
  while (!is_start(state, i, j) && k < len) {
    const char prev = letter(state, i, j);
    fi = state == 'D' ? i + 1 : i;
    fj = state == 'I' ? j + 1 : j;
    if (state == 'M') --i, --j;
    else if (state == 'I') --i;
    else --j;
    state = prev;
    r.path[static_cast<std::size_t>(k++)] = state;
  }
  r.n1 = fi + 1;
  r.n2 = fj + 1;
  // Truncation toward zero, held inside the integer range.
  r.score = best >= 2147483648.0f ? INT_MAX
            : best > -2147483648.0f ? static_cast<int>(best)
            : best == best ? INT_MIN : 0;
  return r;
}

}  // namespace xk::dp_ends_detail
