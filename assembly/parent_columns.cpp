#include "assembly/parent_columns.hpp"

#include <cassert>

#include "common/residues.hpp"

namespace xk {

std::vector<int> parent_residue_columns(std::span<const std::string> seqpair, std::span<const int> first_parent) {
  assert(seqpair.size() == 2 * first_parent.size());
  const std::size_t width = seqpair.empty() ? 0 : seqpair.front().size();
  std::vector<int> column(width, 0);
  for (std::size_t s = 0; s < first_parent.size(); ++s) {
    const std::string& row = seqpair[2 * s];
    int residue = first_parent[s];
    for (std::size_t c = 0; c < row.size() && c < width; ++c) {
      if (!is_sequence_letter(row[c])) continue;
      assert(column[c] == 0 || column[c] == residue);
      column[c] = residue++;
    }
  }
  return column;
}

}  // namespace xk
