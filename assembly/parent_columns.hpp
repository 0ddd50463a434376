// Which parent residue stands in each column of an assembled alignment.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace xk {

// seqpair and first_parent as makemsa left and took them (makemsa.hpp):
// 2n rows of one length in the common column system.  seqpair[0] is the
// common parent row (every parent residue some stretch covers, in order);
// seqpair[2(s-1)] for s >= 2 is sequence s's parent row, its first letter
// parent residue first_parent[s-1].  first_stretch: the number of parent
// residues in sequence 1's own parent row before makemsa replaced it.
// Returns, per column (from 0), the number (from 1) of the parent residue
// in that column, or 0 for a column that holds none (a gap in every parent
// row).
std::vector<int> parent_residue_columns(std::span<const std::string> seqpair, std::span<const int> first_parent,
                                        int first_stretch);

}  // namespace xk
