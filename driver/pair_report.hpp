// The report of one aligned pair, its identity fraction, and the progress
// bar of the all-pairs phase.  Pure text functions.
#pragma once

#include <string>
#include <string_view>

#include "driver/block_report.hpp"
#include "scoring/dp.hpp"

namespace xk::driver {

struct PairReport {
  std::string text;  // the report as written to the output file
  std::string row1;  // shown QUERY row: residues of seq1 and "." for gaps
  std::string row2;  // shown TARGET row
};

// Builds the report of a pair from dp's result: the block report
// (driver/block_report.hpp) titled "Initial pairwise alignment: " with rows
// "QUERY" (seq1) and "TARGET" (seq2).  name1/name2 are the two gamma file
// names of the header line, which the residue texts came from.
PairReport pair_report(std::string_view name1, std::string_view name2, std::string_view seq1,
                       std::string_view seq2, const DpResult& r);

// Whether a character counts as a residue for the identity fraction: every
// character except "B", "Z", "X", ".", "-", "~" and "*".
bool counts_as_residue(char c);

// Identical residue columns divided by the smaller residue count of the two
// rows (c2 on equal counts), single precision; 0 when either count is 0.
float identity_fraction(std::string_view row1, std::string_view row2);

// The progress bar for pair c of t (1 <= c <= t): a carriage return, the
// percentage in 3 columns, "% |", one "=" per 2 %, then ">" (or "|" and a
// line end at 100 %).
std::string progress_bar(long long c, long long t);

}  // namespace xk::driver
