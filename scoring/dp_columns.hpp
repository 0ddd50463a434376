// The working tables of the two-column aligners (dp and dp_ends), and the
// turning of S into column strips that both fill from.
//
// AlignerColumns: the three score columns (M, I, D) of the previous and of
// the current column of S, rows + 1 entries each (entry 0 is row 0); a strip
// of `strip_width` columns of S turned column-major; and one letter byte per
// cell, rows x cols, column-major.  A failed allocation stops with "ERROR: Allocating
// match score matrix!!!" or "ERROR: Allocating match letter matrix!!!".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "common/ending.hpp"
#include "common/table.hpp"

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

}  // namespace xk::dp_detail
