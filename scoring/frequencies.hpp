// The frequency tables every score is made from, and their loading step.
//
// matrix1: observed pair frequencies, 20 x 20 per state, states 1..281.
//          Stored state-major: matrix1[((s-1)*20 + (a-1))*20 + (b-1)] for
//          amino acids a, b = 1..20 (order "ACDEFGHIKLMNPQRSTVWY").
// matrix2: expected single-residue frequencies per state:
//          matrix2[(s-1)*20 + (a-1)].
#pragma once

#include <span>
#include <string>
#include <vector>

#include "common/residues.hpp"
#include "common/structure_states.hpp"

namespace xk {

inline constexpr int kScoredStates = kStates - 1;  // states 1..281 of the gamma tables
inline constexpr int kAminoAcids = kResidueCount;

inline std::size_t m1_index(int a, int b, int s) {  // a, b, s from 1
  return (static_cast<std::size_t>(s - 1) * kAminoAcids + static_cast<std::size_t>(a - 1)) * kAminoAcids +
         static_cast<std::size_t>(b - 1);
}
inline std::size_t m2_index(int a, int s) {  // a, s from 1
  return static_cast<std::size_t>(s - 1) * kAminoAcids + static_cast<std::size_t>(a - 1);
}

struct FrequencyTables {
  std::vector<float> matrix1;  // 20 * 20 * 281
  std::vector<float> matrix2;  // 20 * 281
};

// Both data files: fields of 15 columns from column 1 on, 7 implied decimals
// (a field with a point is read as written, a blank field is 0); lines are
// read up to 1000 characters, columns after 300 are ignored; a file name's
// trailing blanks are not part of it.
//
// Reads an "observed" file into `table` (d1 x d2 x d3, blocks of d1 lines
// of d2 fields, each block followed by two separator lines: the first is not
// examined, a blank second one moves on to the next block).  A blank line
// ends a block early; end of file ends the reading and leaves the remaining
// blocks 0.  Stored as table[((s-1)*d1 + (a-1))*d2 + (b-1)], zeroed first.
// Throws NotFound("ERROR: File not found -", name) for a missing file and
// FatalStop("ERROR: Bad substitution matrix!!!") for an unreadable field.
void readmatrix(const std::string& name, std::span<float> table, int d1, int d2, int d3);

// Reads an "expected" file into `table` (d1 values per line, d2 lines at
// most; blank lines skipped).  Stored as table[(s-1)*d1 + (a-1)].  The table
// is zeroed first.  Throws NotFound as readmatrix does and
// FatalStop("ERROR: Bad matrix2!!!") for an unreadable field.
void readexpected(const std::string& name, std::span<float> table, int d1, int d2);

// The main program's loading step: "observed" into matrix1, "expected" into
// matrix2 (FatalStop "ERROR: Bad matrix2!!!" for an unreadable field), then
// the pseudo-counts (1e-18 on every matrix1 entry, 1e-9 on every matrix2
// entry, single precision).
FrequencyTables load_frequency_tables(const std::string& observed = "observed",
                                      const std::string& expected = "expected");

}  // namespace xk
