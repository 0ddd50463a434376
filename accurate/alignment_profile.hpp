// What the accurate mode computes from a multiple alignment: sequence
// weights, the parent profile of its well-filled columns, and the
// sum-of-pairs objective that refinement may never lower.
//
// Rows: one per sequence, all in one column system; a character counts as a
// letter of its sequence when assembly/alphabet.hpp's is_sequence_letter
// says so (the 20 residue letters and "B", "Z", "X"), anything else is a
// gap.  Rows may differ in length: a shorter row is taken as padded with
// gaps.
#pragma once

#include <array>
#include <span>
#include <string>
#include <vector>

#include "scoring/frequencies.hpp"

namespace xk::accurate {

// A 20 x 20 table of pair scores, entry [a*20 + b] for residues a, b in
// the order "ACDEFGHIKLMNPQRSTVWY".
using PairTable = std::array<float, 400>;

// Position-based weights: every column shares 1 among its residue types
// and each type among the rows that hold it; a row's weight is its sum
// over the columns, normalised to a total of 1 (equal weights when no
// column holds a residue letter).  One weight per row.
std::vector<double> sequence_weights(std::span<const std::string> rows);

// The columns that hold a sequence letter in at least half of the rows, in
// order; for each, the weighted frequencies of the 20 residue letters among
// the rows that hold one (ambiguous letters and gaps take no part; a column
// with none gets the uniform 0.05).  L x 20 values, row-major.
std::vector<double> column_profile(std::span<const std::string> rows, std::span<const double> weights);

// The alignment without the columns that hold no sequence letter: two
// alignments with equal results place every residue alike.
std::vector<std::string> without_empty_columns(std::span<const std::string> rows);

// Sum over all pairs of rows of their projected pairwise alignment: the
// table's score for every column where both hold a residue letter (0 for an
// ambiguous one), minus go for every gap run inside the pair's span
// (opposite letters of the other row) and ge for each further position of
// the run.  Gap runs before or after the other row's letters are free.
double sum_of_pairs(std::span<const std::string> rows, const PairTable& table, float go, float ge);

// Doubled log-odds in bits, 2 log2(P(a, b) / (p(a) p(b))), of the observed
// pair frequencies summed over all states against the expected residue
// frequencies summed likewise (symmetrised): the structure-free core of the
// position-pair scores, in their units.
PairTable pair_table(const FrequencyTables& f);

}  // namespace xk::accurate
