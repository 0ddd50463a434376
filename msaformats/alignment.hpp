// The final multiple alignment as the writers take it: one row per input
// sequence, in input order, under a unique name.
//
// Row letters follow the convention of A2M and of profile-HMM aligners:
//   upper-case letter  a residue in an aligned column;
//   "-"                a gap in an aligned column;
//   lower-case letter  a residue outside the locally aligned stretch (the
//                      termini), in columns of their own;
//   "."                a gap in such an unaligned column.
// A column is aligned or unaligned for all rows alike.  Removing "-" and "."
// from a row gives back the sequence (case aside).
#pragma once

#include <string>
#include <vector>

namespace xk::msa {

struct Alignment {
  std::vector<std::string> names;  // unique, without blanks
  std::vector<std::string> rows;   // all of one length
  // Predicted local structure, "H", "E" or "C" per residue and "." where
  // the row has a gap; one text per row of the rows' length, or empty.
  std::vector<std::string> structure;
  // Per column, the structure of the parent residue in that column, "."
  // for columns without one; the rows' length, or empty.
  std::string structure_consensus;
};

// Whether c is a gap character of a row ("-" or ".").
constexpr bool is_gap(char c) { return c == '-' || c == '.'; }

// Whether c stands in an aligned column: an upper-case letter or "-".
constexpr bool is_aligned_letter(char c) { return c == '-' || (c >= 'A' && c <= 'Z'); }

}  // namespace xk::msa
