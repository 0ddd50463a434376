// The progressive alignment of the merge tree: at every join the two
// groups' alignments are merged along the path that the block aligner's
// samples support best, so that each group keeps the columns it already
// agreed on.
//
// Rows hold residue letters and the gap character '.'.  A group's profile
// has one position per position of the longer member (the first on equal
// lengths), as the block aligner lays its merged profile; a sequence's
// profile has one position per residue.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "blockalign/support_path.hpp"

namespace xk::accurate {

struct GroupAlignment {
  std::vector<int> members;          // sequence numbers (from 1), one per row
  std::vector<std::string> rows;     // all of one length
  std::vector<int> position_column;  // per profile position (from 0), its column (from 0)
};

// A sequence alone: one row of its residues, position k in column k.
GroupAlignment sequence_alignment(int sequence, std::string_view residues);

// Merges `first` and `second` along `path` (positions of the two groups'
// profiles, from 1, strictly increasing; see best_supported_path): each
// path pair shares a column; every other column of either group keeps its
// place between them, with gaps in the other group's rows, the first
// group's columns before the second's.  Rows: first's, then second's.
// Positions: those of the longer profile (the first on equal lengths).
GroupAlignment join_groups(const GroupAlignment& first, const GroupAlignment& second, const MatchPath& path);

// The rows in the order of the sequence numbers 1..n (the group must hold
// each exactly once).
std::vector<std::string> rows_in_sequence_order(const GroupAlignment& g);

}  // namespace xk::accurate
