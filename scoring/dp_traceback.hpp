// The end-cell choice and the traceback of the local aligner, shared by the
// two-row aligner and its full-table reference: both hand over the three
// best values with their first cells and a way to read the letters.
#pragma once

#include <climits>
#include <string>

#include "scoring/dp.hpp"

namespace xk::dp_detail {

// Best value of one score table and its first cell (smallest column, then
// smallest row).
struct Best {
  float value = 0.0f;
  int i = 0;
  int j = 0;
};

// letter(state, i, j): the letter of cell (i, j) in the letter matrix of
// `state` ('M', 'I' or 'D'); a blank for any other state and for cells that
// hold no letter.
template <class Letter>
DpResult trace(int n1, int n2, const Best& bm, const Best& bi, const Best& bd, Letter letter) {
  float best = bm.value;
  if (bi.value > best) best = bi.value;
  if (bd.value > best) best = bd.value;
  char state = ' ';
  int i = 0, j = 0;
  if (best == bm.value) state = 'M', i = bm.i, j = bm.j;
  if (best == bi.value) state = 'I', i = bi.i, j = bi.j;
  if (best == bd.value) state = 'D', i = bd.i, j = bd.j;

  DpResult r;
  const int len = n1 + n2;
  r.path.assign(static_cast<std::size_t>(len), ' ');
  auto get = [&](int k) { return k >= 1 && k <= len ? r.path[static_cast<std::size_t>(k - 1)] : ' '; };
  auto put = [&](int k, char c) {
    if (k >= 1 && k <= len) r.path[static_cast<std::size_t>(k - 1)] = c;
  };
  put(1, state);
  put(2, letter(state, i, j));
  int k = 2;
  for (int step = 0; step <= len; ++step) {
    if (get(k) == 'E') {
      // The cell reached last was a zero-floor start: step back onto it.
      const char came = get(k - 2);
      if (came == 'M') ++i, ++j;
      else if (came == 'I') ++i;
      else if (came == 'D') ++j;
      break;
    }
    const char here = get(k - 1);
    if (here == 'M') {
      if (i <= 1 || j <= 1) break;
      --i, --j;
    } else if (here == 'I') {
      if (i <= 1) break;
      --i;
    } else if (here == 'D') {
      if (j <= 1) break;
      --j;
    } else {
      ++k;
      continue;
    }
    put(k + 1, letter(get(k), i, j));
    ++k;
  }
  r.n1 = i + 1;
  r.n2 = j + 1;
  // best >= 0 always; truncation toward zero, held inside the integer range
  // (a not-a-number best, from not-a-number scores, gives 0).
  r.score = best >= 2147483648.0f ? INT_MAX : (best > -2147483648.0f ? static_cast<int>(best) : 0);
  return r;
}

}  // namespace xk::dp_detail
