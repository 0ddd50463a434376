// The local aligner with two score columns and one letter byte per cell.
//
// The fill goes column by column (j outer, i inner), so the previous and the
// current column of M, I and D are all the recurrences need.  M and D of a
// column depend on the previous column only and are made in one vectorised
// pass; I runs down the column and is made after them.  Every operation is
// the defining one (single-precision adds and subtractions, compares,
// selects), so each cell holds the very value of the full-table fill.
//
// The best value of each table and its first cell are kept during the fill:
// columns come in the order of the end-cell search, so a column can only
// move a best when it holds a strictly larger value, and then the first
// cell holding the column's largest value is the one.  Row 0 and column 0
// cannot move a best beyond their first cell (0, 0).
//
// The whole fill is built once per vector path.  S comes by rows (turned
// column-major a strip at a time) or already by columns.
//
// The three letters of a cell share one byte: bits 0-1 the match letter
// (M, I, D, E), bit 2 the insertion letter (M, I), bits 3-4 the deletion
// letter (M, I, D).  9999 x 9999 cells take about 100 MB.
#include <algorithm>
#include <cassert>
#include <memory>
#include <new>
#include <vector>

#include "common/ending.hpp"
#include "common/table.hpp"
#include "scoring/dp.hpp"
#include "scoring/dp_columns.hpp"
#include "scoring/dp_traceback.hpp"

namespace xk {

namespace {

constexpr float kFloor = -2147483648.0f;
constexpr int kStrip = 64;     // columns of S turned column-major at a time

using dp_detail::Best;

struct Bests {
  Best m, i, d;  // all 0 in cell (0, 0)
};

// Every column of M, I and D with their letters and bests.  S is rows x
// cols by rows, or by columns (S[j * rows + i], from 0) when `by_columns`.
// A kernel: inlined into each vector path's build below.
[[gnu::always_inline]] inline Bests fill_columns(std::size_t rows, std::size_t cols, float go, float ge,
                                                 const float* S, bool by_columns, dp_detail::AlignerColumns& t) {
  std::vector<float> &prev_m = t.prev_m, &prev_i = t.prev_i, &prev_d = t.prev_d;
  std::vector<float> &cur_m = t.cur_m, &cur_i = t.cur_i, &cur_d = t.cur_d;
  std::uint8_t* letters = t.letters.get();

  // Column 0.
  std::fill(prev_m.begin(), prev_m.end(), 0.0f);
  std::fill(prev_i.begin(), prev_i.end(), kFloor);
  std::fill(prev_d.begin(), prev_d.end(), kFloor);
  prev_i[0] = 0.0f;
  prev_d[0] = 0.0f;
  Bests b;

  const std::size_t strip_width = by_columns ? cols : static_cast<std::size_t>(kStrip);
  for (std::size_t j0 = 0; j0 < cols; j0 += strip_width) {
    const std::size_t width = std::min(strip_width, cols - j0);
    const float* strip = S + j0 * rows;
    if (!by_columns) {
      dp_detail::turn_strip(S, rows, cols, j0, width, t.strip.data());
      strip = t.strip.data();
    }
    for (std::size_t jj = 0; jj < width; ++jj) {
      const int j = static_cast<int>(j0 + jj) + 1;
      const float* __restrict a = strip + jj * rows;
      std::uint8_t* __restrict out = letters + (j0 + jj) * rows;
      float* __restrict mcur = cur_m.data();
      float* __restrict icur = cur_i.data();
      float* __restrict dcur = cur_d.data();
      mcur[0] = 0.0f;
      icur[0] = kFloor;
      dcur[0] = kFloor;
      // M and D need only the previous column: one pass the compiler
      // vectorises, which also notes whether the column beats a best.
      const dp_detail::Beats beats = dp_detail::fill_m_and_d<true>(rows, a, prev_m.data(), prev_i.data(),
                                                                   prev_d.data(), mcur, dcur, out, go, ge,
                                                                   b.m.value, b.d.value);
      // I runs down the column.
      if (dp_detail::fill_i(rows, mcur, icur, out, go, ge, b.i.value)) dp_detail::raise_best(icur, rows, j, b.i);
      if (beats.m) dp_detail::raise_best(mcur, rows, j, b.m);
      if (beats.d) dp_detail::raise_best(dcur, rows, j, b.d);
      prev_m.swap(cur_m);
      prev_i.swap(cur_i);
      prev_d.swap(cur_d);
    }
  }
  return b;
}

#define XK_FILL_COLUMNS(name, target)                                                                            \
  target Bests name(std::size_t rows, std::size_t cols, float go, float ge, const float* S, bool by_columns,      \
                    dp_detail::AlignerColumns& t) {                                                              \
    return fill_columns(rows, cols, go, ge, S, by_columns, t);                                                   \
  }
XK_FILL_COLUMNS(fill_columns_plain, )
XK_FILL_COLUMNS(fill_columns_avx2, XK_TARGET_AVX2)
XK_FILL_COLUMNS(fill_columns_avx512, XK_TARGET_AVX512)
#undef XK_FILL_COLUMNS

// The letters of the three tables, packed one byte a cell, column-major
// (rows per column): bits 0-1 the M letter, bit 2 the I letter, bits 3-4 the
// D letter.  Cells of row 0 or column 0 hold none.
struct PackedLetters {
  const std::uint8_t* cells;
  std::size_t rows;
  char operator()(char state, int i, int j) const {
    if (i < 1 || j < 1) return ' ';
    const unsigned b = cells[static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1)];
    switch (state) {
      case 'M': return "MIDE"[b & 3u];
      case 'I': return "MI"[(b >> 2) & 1u];
      case 'D': return "MID?"[(b >> 3) & 3u];
      default: return ' ';
    }
  }
};

DpResult align(int n1, int n2, float go, float ge, std::span<const float> S, VectorPath path, bool by_columns) {
  assert(n1 >= 0 && n2 >= 0);
  const std::size_t rows = static_cast<std::size_t>(n1), cols = static_cast<std::size_t>(n2);
  assert(S.size() >= rows * cols);
  dp_detail::AlignerColumns t(rows, cols, by_columns ? 0 : kStrip);
  const auto fill = kernel_for(path, fill_columns_plain, fill_columns_avx2, fill_columns_avx512);
  const Bests b = fill(rows, cols, go, ge, S.data(), by_columns, t);
  return dp_detail::trace(n1, n2, b.m, b.i, b.d, PackedLetters{t.letters.get(), rows});
}

}  // namespace

DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S, VectorPath path) {
  return align(n1, n2, go, ge, S, path, false);
}

DpResult dp_by_columns(int n1, int n2, float go, float ge, std::span<const float> St, VectorPath path) {
  return align(n1, n2, go, ge, St, path, true);
}

}  // namespace xk
