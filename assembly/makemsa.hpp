// Multiple alignment assembly: brings the per-sequence alignments against
// the parent into one column system.
//
// Every sequence s (s = 1..n) was aligned against the one parent residue
// text; that alignment gives two rows of equal length: a parent row (the
// stretch of parent residues that took part, with a gap character where the
// sequence has a residue opposite no parent residue) and a child row (the
// sequence's letters, with "." opposite unmatched parent residues).
//
// Placement rule.  The k-th letter of a parent row is parent residue
// first_parent[s] + k - 1 (letters are "ACDEFGHIKLMNPQRSTVWY" and the
// ambiguous "B", "Z", "X", which keep their place in the residue text).
// Columns are laid out by parent residue number, so the merge never depends
// on finding a shared run of letters: it always ends, every parent residue
// lands in exactly one column, and every child letter stays in order, also
// when two stretches share fewer than ten residues or the parent has an
// internal repeat.
//   * Each parent residue covered by at least one stretch gets one column,
//     in residue order.  Residues no stretch covers get none.
//   * Between parent residues r and r + 1 (and before a stretch's first
//     residue, i.e. after residue first_parent - 1) come as many gap columns
//     as the most gaps any parent row holds there.  Each row fills those
//     columns from the left; its remaining ones get ".".
//   * A row's characters sit in the columns of its parent row's characters;
//     every other column of the row is ".".
// When the stretches overlap on a shared start this is the column system the
// classic anchor-and-walk merge builds: row 1 is extended in front and
// behind by the residues other stretches cover, and every gap column any
// alignment needs becomes a column of all rows.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace xk {

// seqpair: 2n rows (0-based): seqpair[2(s-1)] is the parent row and
// seqpair[2(s-1)+1] the child row of sequence s.  Rows hold characters of
// `alphabet` only (no blanks), any length; a child row is at most as long as
// its parent row (a shorter one is taken as padded with ".").
// first_parent: n entries, first_parent[s-1] = number (from 1) of the parent
// residue that the first letter of sequence s's parent row stands for.
//
// Rewrites the rows in place.  Afterwards all 2n rows have the same length
// and share one column system: seqpair[0] is the common parent row (every
// covered parent residue, gap columns "." unless row 1 or an earlier parent
// row had its own gap character there), seqpair[2(s-1)] is sequence s's
// parent row and seqpair[2(s-1)+1] its child row in that system.  With no
// parent residue in any row, every row becomes empty.  Rows grow as needed:
// there is no length limit.
void makemsa(std::vector<std::string>& seqpair, std::span<const int> first_parent);

}  // namespace xk
