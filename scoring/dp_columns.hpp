// The working tables of the two-column aligners (dp and dp_ends), the
// turning of S into column strips, and the column fill of M and D that both
// run.
//
// AlignerColumns: the three score columns (M, I, D) of the previous and of
// the current column of S, rows + 1 entries each (entry 0 is row 0); a strip
// of `strip_width` columns of S turned column-major; and one letter byte per
// cell, rows x cols, column-major.  A failed allocation stops with "ERROR: Allocating
// match score matrix!!!" or "ERROR: Allocating match letter matrix!!!".
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "common/ending.hpp"
#include "common/table.hpp"
#include "scoring/dp_traceback.hpp"

namespace xk::dp_detail {

struct AlignerColumns {
  AlignerColumns(std::size_t rows, std::size_t cols, std::size_t strip_width)
      : prev_m(column(rows + 1)),
        prev_i(column(rows + 1)),
        prev_d(column(rows + 1)),
        cur_m(column(rows + 1)),
        cur_i(column(rows + 1)),
        cur_d(column(rows + 1)),
        strip(column(rows * strip_width)) {
    try {
      letters = std::make_unique_for_overwrite<std::uint8_t[]>(rows * cols);
    } catch (const std::bad_alloc&) {
      throw FatalStop("ERROR: Allocating match letter matrix!!!");
    }
  }

  std::vector<float> prev_m, prev_i, prev_d, cur_m, cur_i, cur_d, strip;
  std::unique_ptr<std::uint8_t[]> letters;

 private:
  static std::vector<float> column(std::size_t n) { return make_table<float>(n, "match score matrix"); }
};

// Whether a filled column holds some M above best_m, some D above best_d.
struct Beats {
  bool m = false;
  bool d = false;
};

// Rows 1..rows of column j of M and D from column j - 1 (index 0 is row 0),
// with the match and deletion letters of each cell (bits 0-1 M: M, I, D or
// E for the floor; bits 3-4 D: M, I, D); a holds S(., j).  Local: M takes
// at least 0, the local aligner's floor; otherwise M has no floor and never
// takes E.  A kernel: inlined into each caller's vector-path builds.
template <bool Local>
[[gnu::always_inline]] inline Beats fill_m_and_d(std::size_t rows, const float* __restrict a,
                                                 const float* __restrict mprev, const float* __restrict iprev,
                                                 const float* __restrict dprev, float* __restrict mcur,
                                                 float* __restrict dcur, std::uint8_t* __restrict out, float go,
                                                 float ge, float best_m, float best_d) {
  int beats_m = 0, beats_d = 0;
  for (std::size_t i = 1; i <= rows; ++i) {
    const float s = a[i - 1];
    const float mm = mprev[i - 1] + s, im = iprev[i - 1] + s, dm = dprev[i - 1] + s;
    float v = mm;
    v = im > v ? im : v;
    v = dm > v ? dm : v;
    if constexpr (Local) v = 0.0f > v ? 0.0f : v;
    // M, I, D, E: the first of mm, im, dm that v equals.
    const int lm = (v != mm) * (1 + (v != im) * (1 + (v != dm)));

    const float dd = mprev[i] - go, di = iprev[i] - go, de = dprev[i] - ge;
    float u = dd;
    u = di > u ? di : u;
    u = de > u ? de : u;
    const int ld = (u != dd) * (1 + (u != di));

    mcur[i] = v;
    dcur[i] = u;
    out[i - 1] = static_cast<std::uint8_t>(lm | (ld << 3));
    beats_m |= v > best_m;
    beats_d |= u > best_d;
  }
  return {beats_m != 0, beats_d != 0};
}

// Best of one table after column j, whose rows 1..rows are x[1..rows]:
// when the column holds a value above best.value, its largest value and the
// first row holding it.  The same as raising the best row by row on every
// strictly larger value, since best.value >= 0 leaves no signed zero to
// tell apart; the largest value is found sixteen rows at a time.
[[gnu::always_inline]] inline void raise_best(const float* __restrict x, std::size_t rows, int j, Best& best) {
  assert(best.value >= 0.0f);
  constexpr std::size_t kLanes = 16;
  float lane[kLanes];
  for (float& v : lane) v = best.value;
  std::size_t i = 1;
  for (; i + kLanes <= rows + 1; i += kLanes)
    for (std::size_t k = 0; k < kLanes; ++k) lane[k] = x[i + k] > lane[k] ? x[i + k] : lane[k];
  float top = best.value;
  for (float v : lane) top = v > top ? v : top;
  for (; i <= rows; ++i) top = x[i] > top ? x[i] : top;
  if (!(top > best.value)) return;
  std::size_t first = 1;
  for (; first + kLanes <= rows + 1; first += kLanes) {
    int holds = 0;
    for (std::size_t k = 0; k < kLanes; ++k) holds |= x[first + k] == top;
    if (holds) break;
  }
  while (x[first] != top) ++first;
  best = {top, static_cast<int>(first), j};
}

// Columns j0 .. j0+width-1 of S (rows x cols, row-major) into `strip`,
// column-major: strip[jj * rows + i] = S(i, j0 + jj), all from 0.
inline void turn_strip(const float* S, std::size_t rows, std::size_t cols, std::size_t j0, std::size_t width,
                       float* strip) {
  constexpr std::size_t kAhead = 24;  // rows of S fetched ahead
  for (std::size_t i = 0; i < rows; ++i) {
    // Rows of a large S lie a page or more apart: ask for the rows ahead
    // early, or every row waits for memory in turn.
    if (i + kAhead < rows)
      for (std::size_t jj = 0; jj < width; jj += 16) __builtin_prefetch(S + (i + kAhead) * cols + j0 + jj);
    const float* src = S + i * cols + j0;
    for (std::size_t jj = 0; jj < width; ++jj) strip[jj * rows + i] = src[jj];
  }
}

// Rows 1..rows of column j of I from I(0) = icur[0]:
// I(i) = max(M(i-1) - go, I(i-1) - ge), the opening kept on a tie, with
// the insertion letter of each cell (bit 2 of out[i-1]: 1 where the
// extension is taken).  Only the chain of "- ge" steps is serial, and it
// is taken four rows at a time: rounding is monotone, so
// fl(max(x, y) - ge) = max(fl(x - ge), fl(y - ge)), and a row's value is
// the larger of its openings carried down (worked out beside the chain)
// and of the chain itself.  Every cell holds the very value of the
// one-by-one recurrence; the letters follow in a second pass, which also
// notes whether the column holds some I above best_i.
[[gnu::always_inline]] inline bool fill_i(std::size_t rows, const float* __restrict mcur, float* __restrict icur,
                                          std::uint8_t* __restrict out, float go, float ge, float best_i) {
  auto pick = [](float open, float extend) { return open >= extend ? open : extend; };
  float chain = icur[0];
  std::size_t i = 1;
  for (; i + 3 <= rows; i += 4) {
    const float o1 = mcur[i - 1] - go, o2 = mcur[i] - go, o3 = mcur[i + 1] - go, o4 = mcur[i + 2] - go;
    // The openings of rows i..i+3 carried down to each row.
    const float b2 = pick(o2, o1 - ge), b3 = pick(o3, b2 - ge), b4 = pick(o4, b3 - ge);
    const float t1 = chain - ge, t2 = t1 - ge, t3 = t2 - ge, t4 = t3 - ge;
    icur[i] = pick(o1, t1);
    icur[i + 1] = pick(b2, t2);
    icur[i + 2] = pick(b3, t3);
    chain = icur[i + 3] = pick(b4, t4);
  }
  for (; i <= rows; ++i) chain = icur[i] = pick(mcur[i - 1] - go, chain - ge);
  int beats = 0;
  for (std::size_t r = 1; r <= rows; ++r) {
    const int extended = icur[r] != mcur[r - 1] - go;
    out[r - 1] = static_cast<std::uint8_t>(out[r - 1] | (extended << 2));
    beats |= icur[r] > best_i;
  }
  return beats != 0;
}

}  // namespace xk::dp_detail
