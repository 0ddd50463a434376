// The merged profile of two inputs and its profile file.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

namespace xk {

// The merged distribution on the positions of the base input: the second
// input when len1 < len2, else the first (equal lengths: the first); the
// other input is the partner.  For base position p (from 1) and residue a:
//     out(p, a) = 0.5 base(p, a) + 0.5 sum_q match(pair) partner(q, a),
// pair = (p, q) when the base is the first input and (q, p) otherwise, the
// sum taken in double precision over q in increasing order; then each row
// is divided by its sum T.
// When T is not a positive finite number (the base row is all zero and no
// sample matched p), the row is the converter's profile of an unknown
// residue ("X": the background frequencies), scaled to sum 1.  So is a row
// whose divided values do not all fit a finite single (a damaged input
// row of huge values of mixed sign over a tiny sum).
// pro1: len1 x 20, pro2: len2 x 20, match: len1 x len2, all row-major.
// Returns max(len1, len2) x 20 values ("ERROR: Allocating outprofile!!!").
std::vector<double> merge_profiles(int len1, int len2, std::span<const float> pro1, std::span<const float> pro2,
                                   std::span<const float> match);

// The row written for a position without any residue information (above).
std::array<double, 20> unknown_residue_row();

// The residue letter of a merged row: the letter of "ACDEFGHIKLMNPQRSTVWY"
// of the largest value, the earliest letter on equal values.
char residue_letter(std::span<const double, 20> row);

// Writes the merged profile file: exactly L records, record p holding p in
// both position fields, blanks in every character field but the residue
// letter, and the 20 values of row p rounded to single precision.  An
// existing file is replaced.  Throws IoError naming the file on failure.
void write_merged_profile(const std::string& path, int L, std::span<const double> outprofile);

}  // namespace xk
