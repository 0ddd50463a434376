#include "driver/pair_report.hpp"

#include <cassert>
#include <cmath>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"

namespace xk::driver {

PairReport pair_report(std::string_view name1, std::string_view name2, std::string_view seq1,
                       std::string_view seq2, const DpResult& r) {
  PairReport rep;
  ShownRows rows = write_block_report(rep.text, "Initial pairwise alignment: ", name1, name2,
                                      {"QUERY", seq1, name1}, {"TARGET", seq2, name2}, r);
  rep.row1 = std::move(rows.first);
  rep.row2 = std::move(rows.second);
  return rep;
}

bool counts_as_residue(char c) {
  switch (c) {
    case 'B': case 'Z': case 'X': case '.': case '-': case '~': case '*': return false;
    default: return true;
  }
}

float identity_fraction(std::string_view row1_as_given, std::string_view row2) {
  const std::string row1 = without_trailing_blanks(row1_as_given);
  float matches = 0.0f;
  int c1 = 0, c2 = 0;
  for (std::size_t k = 0; k < row1.size(); ++k) {
    const char x = row1[k];
    const char y = k < row2.size() ? row2[k] : ' ';
    const bool rx = counts_as_residue(x), ry = counts_as_residue(y);
    if (rx) ++c1;
    if (ry) ++c2;
    if (rx && ry && x == y) matches += 1.0f;
  }
  if (c1 == 0 || c2 == 0) return 0.0f;
  return c1 < c2 ? matches / static_cast<float>(c1) : matches / static_cast<float>(c2);
}

std::string progress_bar(long long c, long long t) {
  assert(c >= 1 && c <= t);
  const float f = static_cast<float>(c) / static_cast<float>(t);
  const float pct_f = f * 100.0f;
  const float bar_f = f * 50.0f;
  const auto pct = static_cast<long long>(std::floor(pct_f));
  const auto bar = static_cast<std::size_t>(std::floor(bar_f));
  std::string s = "\r" + fw::format_int(pct, 3) + "% |" + std::string(bar, '=');
  s += pct == 100 ? "|\n" : ">";
  return s;
}

}  // namespace xk::driver
