// The initial multiple alignment's reports: the two-row report of every
// sequence's alignment against the parent profile, and the final listing of
// the assembled multiple alignment in blocks of 50 columns.
//
// Residue numbers are from 1.  A 4-column number is "(I4)": right-justified,
// four asterisks when it does not fit.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "scoring/dp.hpp"

namespace xk {

// One sequence's alignment against the parent, as shown and recorded.
struct AlignedRows {
  std::string parent;    // parent letters and "." (a residue of the sequence opposite no parent residue)
  std::string child;     // the sequence's letters and "." (opposite a parent residue), same length
  int first_parent = 0;  // number of the first parent residue shown (dp's n1 - 1)
  int first_child = 0;   // number of the sequence's first residue shown (dp's n2 - 1)
};

// Writes the two-row report of one alignment to `out` and returns its rows.
//   parent_profile, child_profile: the two profile file names as shown in the
//     header ("1-3-2.drct", "2.drct");
//   parent_residues, child_residues: the residue texts read from the two
//     gamma files (character k-1 = residue k, every letter kept);
//   r: what dp returned for parent (first input) against sequence (second).
// Layout: the block report (driver/block_report.hpp) titled "Multiple
// sequence alignment (Iteration K): " (K = iteration) with rows "PARENT" and
// "CHILD".
// Throws FatalStop naming the gamma file when a residue text is shorter than
// the alignment needs.
AlignedRows report_alignment(std::ostream& out, std::string_view parent_profile, std::string_view child_profile,
                             std::string_view parent_residues, std::string_view child_residues,
                             const DpResult& r, int iteration = 1);

// Writes the final listing of the assembled alignment:
// "Multiple sequence alignment (Iteration K): " (trailing blank kept), then
// per block of 50 columns one line per sequence s: ids[s] as "(A13)", the
// number of its first residue in the block (I4), three blanks, exactly 50
// characters of rows[s] (blanks past the row's end), three blanks, the
// number of its last residue in the block (I4); an empty line after each
// block.  A block in which the sequence has no letter shows a closing number
// one below its opening number.
//   ids: the sequences' identifiers (seqID);
//   rows: the sequences' rows in the common column system (any length; the
//     longest sets the number of blocks);
//   first_residue: per sequence, the number of its first residue in its row
//     (AlignedRows::first_child).
// Residue numbers count every letter of the sequence ("B", "Z" and "X"
// included), so they stay true residue numbers.
void write_msa_listing(std::ostream& out, std::span<const std::string> ids, std::span<const std::string> rows,
                       std::span<const int> first_residue, int iteration = 1);

// The assembled alignment: the sequences' rows in the common column system.
struct AssembledMsa {
  std::vector<std::string> rows;    // per sequence, in input order, all of one length
  std::vector<int> first_residue;   // per sequence, number (from 1) of the first residue in its row
  std::vector<int> parent_residue;  // per column, the parent residue there (from 1), 0 for none
};

// Brings the n alignments into one column system (makemsa on their rows and
// first parent residues), writes the final listing and returns the
// assembled alignment (the rows feed the state model and the alignment
// files).
AssembledMsa assemble_and_list(std::ostream& out, std::span<const std::string> ids,
                               std::span<const AlignedRows> alignments, int iteration = 1);

// "Multiple sequence alignment (Iteration K): ", the heading of the reports
// and listing of iteration K.
std::string msa_heading(int iteration);

}  // namespace xk
