// The working tables of the two-column aligners (dp and dp_ends): the three
// score columns (M, I, D) of the previous and of the current column of S,
// rows + 1 entries each (entry 0 is row 0); a strip of `strip_width`
// columns of S turned column-major; and one letter byte per cell, rows x
// cols, column-major.  A failed allocation stops with "ERROR: Allocating
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

}  // namespace xk::dp_detail
