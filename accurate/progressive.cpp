#include "accurate/progressive.hpp"

#include <cassert>

namespace xk::accurate {

namespace {

constexpr char kGap = '.';

// Appends one column to the merged rows: column ca of a's rows to the first
// group's rows and column cb of b's rows to the second's; a null group
// gives its rows a gap.
struct RowsBuilder {
  std::vector<std::string>& rows;
  std::size_t first_rows;

  void column(const GroupAlignment* a, std::size_t ca, const GroupAlignment* b, std::size_t cb) {
    for (std::size_t r = 0; r < first_rows; ++r) rows[r] += a != nullptr ? a->rows[r][ca] : kGap;
    for (std::size_t r = first_rows; r < rows.size(); ++r) rows[r] += b != nullptr ? b->rows[r - first_rows][cb] : kGap;
  }
};

std::size_t width(const GroupAlignment& g) { return g.rows.empty() ? 0 : g.rows.front().size(); }

}  // namespace

GroupAlignment sequence_alignment(int sequence, std::string_view residues) {
  GroupAlignment g;
  g.members = {sequence};
  g.rows = {std::string(residues)};
  g.position_column.resize(residues.size());
  for (std::size_t k = 0; k < residues.size(); ++k) g.position_column[k] = static_cast<int>(k);
  return g;
}

GroupAlignment join_groups(const GroupAlignment& first, const GroupAlignment& second, const MatchPath& path) {
  GroupAlignment g;
  g.members = first.members;
  g.members.insert(g.members.end(), second.members.begin(), second.members.end());
  g.rows.assign(g.members.size(), std::string());
  RowsBuilder out{g.rows, first.rows.size()};
  const std::size_t w1 = width(first), w2 = width(second);
  // The column each input column lands in.
  std::vector<int> landed1(w1), landed2(w2);
  std::size_t c1 = 0, c2 = 0;
  auto until = [&](std::size_t end1, std::size_t end2) {
    for (; c1 < end1; ++c1) {
      landed1[c1] = static_cast<int>(width(g));
      out.column(&first, c1, nullptr, 0);
    }
    for (; c2 < end2; ++c2) {
      landed2[c2] = static_cast<int>(width(g));
      out.column(nullptr, 0, &second, c2);
    }
  };
  for (const auto& [i, j] : path) {
    assert(i >= 1 && j >= 1 && static_cast<std::size_t>(i) <= first.position_column.size() &&
           static_cast<std::size_t>(j) <= second.position_column.size());
    const auto a = static_cast<std::size_t>(first.position_column[static_cast<std::size_t>(i - 1)]);
    const auto b = static_cast<std::size_t>(second.position_column[static_cast<std::size_t>(j - 1)]);
    assert(a >= c1 && b >= c2);
    until(a, b);
    landed1[c1] = landed2[c2] = static_cast<int>(width(g));
    out.column(&first, c1++, &second, c2++);
  }
  until(w1, w2);

  const bool first_is_base = first.position_column.size() >= second.position_column.size();
  const GroupAlignment& base = first_is_base ? first : second;
  const std::vector<int>& landed = first_is_base ? landed1 : landed2;
  g.position_column.reserve(base.position_column.size());
  for (int c : base.position_column) g.position_column.push_back(landed[static_cast<std::size_t>(c)]);
  return g;
}

std::vector<std::string> rows_in_sequence_order(const GroupAlignment& g) {
  std::vector<std::string> rows(g.rows.size());
  for (std::size_t r = 0; r < g.rows.size(); ++r) {
    const int s = g.members[r];
    assert(s >= 1 && static_cast<std::size_t>(s) <= rows.size() && rows[static_cast<std::size_t>(s - 1)].empty());
    rows[static_cast<std::size_t>(s - 1)] = g.rows[r];
  }
  return rows;
}

}  // namespace xk::accurate
