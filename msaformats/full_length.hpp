// The final alignment with every residue: names, full-length rows and the
// predicted local structure per residue and per column.  See alignment.hpp
// for the letters of a row.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "msaformats/alignment.hpp"

namespace xk::msa {

// The identifier of a FASTA header line: its first word after ">" (up to a
// blank or a tab).  A header without a word gets "seq<number>" (number of
// the sequence in the file, from 1).
std::string identifier(std::string_view header, std::size_t number);

// Makes the names unique, in order: a name met for the first time stays as
// it is; a repeat of an earlier name gets the suffix "_2", "_3", ...: the
// smallest k >= 2 for which name + "_" + k is neither one of the given names
// nor a name already made.  ["a", "a", "a_2"] gives ["a", "a_3", "a_2"].
std::vector<std::string> unique_names(std::span<const std::string> names);

// The full-length rows and where the aligned block lies in them.
struct FullLength {
  std::vector<std::string> rows;
  std::size_t leading = 0;  // unaligned columns before the aligned block
  std::size_t block = 0;    // columns of the aligned block
  std::size_t trailing = 0;  // unaligned columns after it
};

// Builds the full-length rows from the assembled alignment:
//   sequences[s]: sequence s's residues as read (any case);
//   assembled[s]: its row in the common column system: sequence letters and
//     the gap characters ".-~*", all rows of one length (the aligned block);
//   first_residue[s]: number (from 1) of the residue its first letter is.
// The residues before the stretch go, in lower case, into the leading
// columns, right-aligned next to the block; the residues after it, in lower
// case, into the trailing columns, left-aligned; both are as wide as the
// longest such terminus.  In the block, letters become upper case and gaps
// "-".  Throws FatalStop when a row's letters are not the sequence's
// residues from first_residue on (`names` name the sequence).
FullLength full_length_rows(std::span<const std::string> names, std::span<const std::string> sequences,
                            std::span<const std::string> assembled, std::span<const int> first_residue);

// The local-structure letter of a state class of the structure model: a
// class whose name starts with "HELIX" (HELIX, HELIX_N1, ...) -> 'H', with
// "STRAND" -> 'E', every other class (coil, turns, caps) -> 'C'.
char structure_letter(std::string_view state_class);

// Per residue, the structure letter whose states hold the largest total
// posterior probability.  gamma: positions x states, row-major (state 0,
// the begin state, included); state_letter: one letter per state, ' ' for
// states that count for no class.  Ties go to the earlier of H, E, C.
std::string residue_structure(std::span<const float> gamma, std::string_view state_letter);

// A row's structure text: residue k (from 1) of the row shows letter k-1 of
// residue_letters, a gap shows ".".  Throws FatalStop when residue_letters
// is shorter than the row's residues.
std::string row_structure(std::string_view row, std::string_view residue_letters);

// The structure of each column of the full-length alignment (`width`
// columns, the aligned block from column `leading` on): the letter of the
// parent residue in that column of the block (parent_residue: per block
// column, its number from 1, 0 for none; parent_letters: per parent
// residue), "." elsewhere.
std::string consensus_structure(std::size_t width, std::size_t leading, std::span<const int> parent_residue,
                                std::string_view parent_letters);

}  // namespace xk::msa
