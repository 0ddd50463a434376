#include "assembly/parent_columns.hpp"

#include <algorithm>
#include <cassert>

#include "common/residues.hpp"

namespace xk {

namespace {

int letters(const std::string& row) {
  return static_cast<int>(std::count_if(row.begin(), row.end(), [](char c) { return is_sequence_letter(c); }));
}

// Places the residues `numbers` (in order) on the letters of `row`.
void place(const std::string& row, std::span<const int> numbers, std::vector<int>& column) {
  std::size_t k = 0;
  for (std::size_t c = 0; c < row.size() && c < column.size(); ++c) {
    if (!is_sequence_letter(row[c])) continue;
    assert(k < numbers.size());
    assert(column[c] == 0 || column[c] == numbers[k]);
    column[c] = numbers[k++];
  }
}

}  // namespace

std::vector<int> parent_residue_columns(std::span<const std::string> seqpair, std::span<const int> first_parent,
                                        int first_stretch) {
  assert(seqpair.size() == 2 * first_parent.size());
  const std::size_t n = first_parent.size();
  const std::size_t width = seqpair.empty() ? 0 : seqpair.front().size();
  std::vector<int> column(width, 0);
  if (n == 0) return column;
  // Row 0 holds every parent residue that some stretch covers, in order.
  std::vector<int> covered;
  for (std::size_t s = 0; s < n; ++s) {
    const int length = s == 0 ? first_stretch : letters(seqpair[2 * s]);
    for (int k = 0; k < length; ++k) covered.push_back(first_parent[s] + k);
  }
  std::sort(covered.begin(), covered.end());
  covered.erase(std::unique(covered.begin(), covered.end()), covered.end());
  place(seqpair[0], covered, column);
  // Every other parent row holds its own stretch.
  std::vector<int> stretch;
  for (std::size_t s = 1; s < n; ++s) {
    stretch.clear();
    for (int k = 0, length = letters(seqpair[2 * s]); k < length; ++k) stretch.push_back(first_parent[s] + k);
    place(seqpair[2 * s], stretch, column);
  }
  return column;
}

}  // namespace xk
