// The aligner with fixed ends, with two score columns and one letter byte
// per cell: the fill of the local aligner (dp.cpp) without the zero floor,
// the borders of the chosen ends, and the end cell searched among the cells
// those ends allow.
//
// The fill goes column by column (j outer, i inner).  M and D of a column
// depend on the previous column only and are made in one vectorised pass; I
// runs down the column after them.  Every operation is the defining one, so
// each cell holds the very value of the full-table fill.
//
// The three letters of a cell share one byte: bits 0-1 the match letter
// (M, I, D), bit 2 the insertion letter (M, I), bits 3-4 the deletion
// letter (M, I, D).  Border cells hold no byte: their letters follow from
// the border rule.
#include <algorithm>
#include <cassert>
#include <memory>
#include <new>
#include <vector>

#include "common/ending.hpp"
#include "scoring/dp_columns.hpp"
#include "scoring/dp_ends.hpp"
#include "scoring/dp_ends_traceback.hpp"

namespace xk {

namespace {

using dp_ends_detail::kNone;
constexpr int kStrip = 64;  // columns of S turned column-major at a time

// The end-cell candidates of column j (dp_ends_detail::may_end): every row
// of the last column when the first input may end early, else the last row
// of the last column, or of every column when the second may end early.
struct Candidates {
  dp_ends_detail::Tracker m, i, d;
  void offer(int n1, int n2, FreeEnds e, int j, const std::vector<float>& M, const std::vector<float>& I,
             const std::vector<float>& D) {
    const bool every_row = j == n2 && e.first_end;
    if (!every_row && j != n2 && !e.second_end) return;
    for (int r = every_row ? 0 : n1; r <= n1; ++r) {
      const auto k = static_cast<std::size_t>(r);
      m.offer(M[k], r, j);
      i.offer(I[k], r, j);
      d.offer(D[k], r, j);
    }
  }
};

// Every column of M, I and D with their letters, offering the end-cell
// candidates.  A kernel: inlined into each vector path's build below.
[[gnu::always_inline]] inline Candidates fill_columns(int n1, int n2, float go, float ge, const float* S, FreeEnds ends,
                                                      dp_detail::AlignerColumns& t) {
  using namespace dp_ends_detail;
  const std::size_t rows = static_cast<std::size_t>(n1), cols = static_cast<std::size_t>(n2);
  std::vector<float> &prev_m = t.prev_m, &prev_i = t.prev_i, &prev_d = t.prev_d;
  std::vector<float> &cur_m = t.cur_m, &cur_i = t.cur_i, &cur_d = t.cur_d;
  std::vector<float>& strip = t.strip;
  std::uint8_t* letters = t.letters.get();

  for (int i = 0; i <= n1; ++i) {
    const auto k = static_cast<std::size_t>(i);
    prev_m[k] = border_m(i, ends.first_start);
    prev_i[k] = border_gap(i, ends.first_start, go, ge);
    prev_d[k] = kNone;
  }
  Candidates best;
  best.offer(n1, n2, ends, 0, prev_m, prev_i, prev_d);

  for (std::size_t j0 = 0; j0 < cols; j0 += kStrip) {
    const std::size_t width = std::min<std::size_t>(kStrip, cols - j0);
    dp_detail::turn_strip(S, rows, cols, j0, width, strip.data());
    for (std::size_t jj = 0; jj < width; ++jj) {
      const int j = static_cast<int>(j0 + jj) + 1;
      std::uint8_t* __restrict out = letters + (j0 + jj) * rows;
      float* __restrict mcur = cur_m.data();
      float* __restrict icur = cur_i.data();
      mcur[0] = border_m(j, ends.second_start);
      icur[0] = kNone;
      cur_d[0] = border_gap(j, ends.second_start, go, ge);
      dp_detail::fill_m_and_d<false>(rows, strip.data() + jj * rows, prev_m.data(), prev_i.data(), prev_d.data(),
                                     mcur, cur_d.data(), out, go, ge, kNone, kNone);
      dp_detail::fill_i(rows, mcur, icur, out, go, ge, kNone);
      best.offer(n1, n2, ends, j, cur_m, cur_i, cur_d);
      prev_m.swap(cur_m);
      prev_i.swap(cur_i);
      prev_d.swap(cur_d);
    }
  }
  return best;
}

#define XK_FILL_COLUMNS(name, target)                                                                            \
  target Candidates name(int n1, int n2, float go, float ge, const float* S, FreeEnds ends,                      \
                         dp_detail::AlignerColumns& t) {                                                         \
    return fill_columns(n1, n2, go, ge, S, ends, t);                                                             \
  }
XK_FILL_COLUMNS(fill_columns_plain, )
XK_FILL_COLUMNS(fill_columns_avx2, XK_TARGET_AVX2)
XK_FILL_COLUMNS(fill_columns_avx512, XK_TARGET_AVX512)
#undef XK_FILL_COLUMNS

}  // namespace

DpResult dp_ends(int n1, int n2, float go, float ge, std::span<const float> S, FreeEnds ends, VectorPath path) {
  using namespace dp_ends_detail;
  assert(n1 >= 0 && n2 >= 0);
  const std::size_t rows = static_cast<std::size_t>(n1), cols = static_cast<std::size_t>(n2);
  assert(S.size() >= rows * cols);
  dp_detail::AlignerColumns t(rows, cols, kStrip);
  const auto fill = kernel_for(path, fill_columns_plain, fill_columns_avx2, fill_columns_avx512);
  const Candidates best = fill(n1, n2, go, ge, S.data(), ends, t);

  const std::uint8_t* lt = t.letters.get();
  auto letter = [&](char state, int i, int j) -> char {
    if (state == 'I' && j == 0) return border_letter(i, 'I');
    if (state == 'D' && i == 0) return border_letter(j, 'D');
    if (i < 1 || j < 1) return ' ';
    const unsigned b = lt[static_cast<std::size_t>(j - 1) * rows + static_cast<std::size_t>(i - 1)];
    switch (state) {
      case 'M': return "MID?"[b & 3u];
      case 'I': return "MI"[(b >> 2) & 1u];
      case 'D': return "MID?"[(b >> 3) & 3u];
      default: return ' ';
    }
  };
  return dp_ends_detail::trace(n1, n2, best.m.best, best.i.best, best.d.best, letter);
}

}  // namespace xk
