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
// move a best when it holds a strictly larger value, and then the first such
// cell in the column is the one.  Row 0 and column 0 cannot move a best
// beyond their first cell (0, 0).
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

using dp_detail::Beats;

// The column fill (dp_columns.hpp) with the local aligner's floor, built
// once per vector path: only adds, subtractions, compares and selects, so
// every path gives the same cells.
#define XK_FILL_M_AND_D(name, target)                                                                              \
  target Beats name(std::size_t rows, const float* __restrict a, const float* __restrict mprev,                   \
                    const float* __restrict iprev, const float* __restrict dprev, float* __restrict mcur,         \
                    float* __restrict dcur, std::uint8_t* __restrict out, float go, float ge, float best_m,       \
                    float best_d) {                                                                                \
    return dp_detail::fill_m_and_d<true>(rows, a, mprev, iprev, dprev, mcur, dcur, out, go, ge, best_m, best_d);   \
  }
XK_FILL_M_AND_D(fill_m_and_d_plain, )
XK_FILL_M_AND_D(fill_m_and_d_avx2, [[gnu::target("arch=x86-64-v3")]])
XK_FILL_M_AND_D(fill_m_and_d_avx512, [[gnu::target("arch=x86-64-v4")]])
#undef XK_FILL_M_AND_D

using FillMAndD = decltype(&fill_m_and_d_plain);

FillMAndD fill_m_and_d_for(VectorPath path) {
  return kernel_for(path, fill_m_and_d_plain, fill_m_and_d_avx2, fill_m_and_d_avx512);
}

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

}  // namespace

DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S, VectorPath path) {
  assert(n1 >= 0 && n2 >= 0);
  const FillMAndD fill_m_and_d_path = fill_m_and_d_for(path);
  const std::size_t rows = static_cast<std::size_t>(n1), cols = static_cast<std::size_t>(n2);
  assert(S.size() >= rows * cols);

  dp_detail::AlignerColumns t(rows, cols, kStrip);
  std::vector<float> &prev_m = t.prev_m, &prev_i = t.prev_i, &prev_d = t.prev_d;
  std::vector<float> &cur_m = t.cur_m, &cur_i = t.cur_i, &cur_d = t.cur_d;
  std::vector<float>& strip = t.strip;
  const std::unique_ptr<std::uint8_t[]>& letters = t.letters;

  // Column 0.
  std::fill(prev_m.begin(), prev_m.end(), 0.0f);
  std::fill(prev_i.begin(), prev_i.end(), kFloor);
  std::fill(prev_d.begin(), prev_d.end(), kFloor);
  prev_i[0] = 0.0f;
  prev_d[0] = 0.0f;
  dp_detail::Best bm, bi, bd;  // all 0 in cell (0, 0)

  // The fill is the kernel: one column at a time over the turned strip,
  // kept in one piece so that its restrict pointers and passes stay visible
  // to the vectoriser.

  for (std::size_t j0 = 0; j0 < cols; j0 += kStrip) {
    const std::size_t width = std::min<std::size_t>(kStrip, cols - j0);
    dp_detail::turn_strip(S.data(), rows, cols, j0, width, strip.data());
    for (std::size_t jj = 0; jj < width; ++jj) {
      const int j = static_cast<int>(j0 + jj) + 1;
      const float* __restrict a = strip.data() + jj * rows;
      std::uint8_t* __restrict out = letters.get() + (j0 + jj) * rows;
      const float* __restrict mprev = prev_m.data();
      const float* __restrict iprev = prev_i.data();
      const float* __restrict dprev = prev_d.data();
      float* __restrict mcur = cur_m.data();
      float* __restrict icur = cur_i.data();
      float* __restrict dcur = cur_d.data();
      mcur[0] = 0.0f;
      icur[0] = kFloor;
      dcur[0] = kFloor;
      // M and D need only the previous column: one pass the compiler
      // vectorises, which also notes whether the column beats a best.
      const Beats beats = fill_m_and_d_path(rows, a, mprev, iprev, dprev, mcur, dcur, out, go, ge, bm.value, bd.value);
      // I runs down the column.
      if (dp_detail::fill_i(rows, mcur, icur, out, go, ge, bi.value))
        for (std::size_t i = 1; i <= rows; ++i)
          if (icur[i] > bi.value) bi = {icur[i], static_cast<int>(i), j};
      if (beats.m)
        for (std::size_t i = 1; i <= rows; ++i)
          if (mcur[i] > bm.value) bm = {mcur[i], static_cast<int>(i), j};
      if (beats.d)
        for (std::size_t i = 1; i <= rows; ++i)
          if (dcur[i] > bd.value) bd = {dcur[i], static_cast<int>(i), j};
      prev_m.swap(cur_m);
      prev_i.swap(cur_i);
      prev_d.swap(cur_d);
    }
  }

  return dp_detail::trace(n1, n2, bm, bi, bd, PackedLetters{letters.get(), rows});
}

}  // namespace xk
