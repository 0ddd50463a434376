// The two-row block report of one pairwise alignment: the report of every
// pair in the all-pairs phase and of every sequence against the parent
// profile in the initial multiple alignment.  Pure text.
#pragma once

#include <string>
#include <string_view>

#include "scoring/dp.hpp"

namespace xk::driver {

inline constexpr int kBlockColumns = 50;

// One side of the alignment as the report shows it.
struct ReportSide {
  std::string_view word;      // the row's word, left-justified in 13 columns ("QUERY", "PARENT")
  std::string_view residues;  // character k-1 = residue k (from 1), every letter kept
  std::string_view source;    // the gamma file the residues came from, named when one is missing
};

// The rows as shown: residues and "." for gaps, one character per shown step.
struct ShownRows {
  std::string first;
  std::string second;
};

// Appends the report of dp's result r (first = dp's first input, second =
// its second) to `out` and returns the shown rows.
// Layout: title, name1, ", ", name2 and a line end; then per block of 50
// traceback steps a line for each side: the word in 13 columns, the number
// of its first residue in the block (I4, asterisks when it does not fit),
// three blanks, the block's characters, three blanks, the number of its last
// residue (I4); then an empty line; after the last block one more empty line.
// The path is reversed, blanks and "E" are dropped, and its first letter (the
// predecessor of the first cell, r.n1 - 1 and r.n2 - 1) is not shown.  "M"
// shows a residue of both sides, "I" one of the first against ".", "D" one
// of the second against ".".  Rows have no length limit.
// Throws FatalStop("ERROR: Residue <k> missing in <source>!!!") when a
// residue text is shorter than the alignment needs.
ShownRows write_block_report(std::string& out, std::string_view title, std::string_view name1,
                             std::string_view name2, const ReportSide& first, const ReportSide& second,
                             const DpResult& r);

}  // namespace xk::driver
