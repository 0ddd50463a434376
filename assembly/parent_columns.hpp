// Which parent residue stands in each column of an assembled alignment.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace xk {

// seqpair and first_parent as makemsa left and took them (makemsa.hpp):
// 2n rows of one length, seqpair[2(s-1)] sequence s's parent row in the
// common column system, its first letter parent residue first_parent[s-1].
// Returns, per column (from 0), the number (from 1) of the parent residue
// in that column, or 0 for a column that holds none (a gap in every parent
// row).
std::vector<int> parent_residue_columns(std::span<const std::string> seqpair, std::span<const int> first_parent);

}  // namespace xk
