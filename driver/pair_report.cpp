#include "driver/pair_report.hpp"

#include <cassert>
#include <cmath>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"

namespace xk::driver {

PairReport pair_report(std::string_view name1, std::string_view name2, std::string_view seq1,
                       std::string_view seq2, const DpResult& r) {
  // The states of the alignment from its start: the reversed path without
  // blanks and "E".
  std::string states;
  for (auto it = r.path.rbegin(); it != r.path.rend(); ++it)
    if (*it != ' ' && *it != 'E') states += *it;
  const std::size_t P = states.size();
  const std::size_t blocks = P <= 1 ? 0 : (P - 1 + kBlockColumns - 1) / kBlockColumns;

  PairReport rep;
  std::string& out = rep.text;
  out += "Initial pairwise alignment: ";
  out += name1;
  out += ", ";
  out += name2;
  out += '\n';

  // Residue cursors (from 1) and column cursors (from 0 into `states`; the
  // first letter is skipped).
  long long q1 = r.n1 - 1, q2 = r.n2 - 1;
  std::size_t a = 1, b = 1;
  auto residue = [](std::string_view seq, long long q) {
    assert(q >= 1 && static_cast<std::size_t>(q) <= seq.size());
    return seq[static_cast<std::size_t>(q - 1)];
  };
  for (std::size_t block = 0; block < blocks; ++block) {
    out += "QUERY        ";
    out += fw::format_int(q1, 4);
    out += "   ";
    for (int step = 0; step < kBlockColumns && a < P; ++step, ++a) {
      const char s = states[a];
      if (s != 'M' && s != 'I' && s != 'D') continue;
      const char c = s == 'D' ? '.' : residue(seq1, q1++);
      out += c;
      rep.row1 += c;
    }
    out += "   ";
    out += fw::format_int(q1 - 1, 4);
    out += '\n';

    out += "TARGET       ";
    out += fw::format_int(q2, 4);
    out += "   ";
    for (int step = 0; step < kBlockColumns && b < P; ++step, ++b) {
      const char s = states[b];
      if (s != 'M' && s != 'I' && s != 'D') continue;
      const char c = s == 'I' ? '.' : residue(seq2, q2++);
      out += c;
      rep.row2 += c;
    }
    out += "   ";
    out += fw::format_int(q2 - 1, 4);
    out += '\n';
    out += '\n';
  }
  out += '\n';
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
