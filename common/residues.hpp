// The letters of protein sequences: the residue order of every 20-wide
// table, the main program's 27-character alphabet and its character classes,
// the converter's 23-letter alphabet, and the background frequencies.
#pragma once

#include <array>
#include <string_view>

namespace xk {

// Residue order of every 20-wide table (profile values, frequency tables,
// emissions, local-structure model rows): column k (from 0) is letter k.
inline constexpr std::string_view kResidueOrder = "ACDEFGHIKLMNPQRSTVWY";
inline constexpr int kResidueCount = 20;

// 0-based column of a residue letter in kResidueOrder, -1 for any other
// character (lower case, "B", "Z", "X", gaps, blanks, NUL).
constexpr int residue_index(char c) {
  const auto pos = kResidueOrder.find(c);
  return pos == std::string_view::npos ? -1 : static_cast<int>(pos);
}

// The main program's letter string.  The class of a character is its
// position (from 1) in it, 0 when it is not in it:
//   1..20   the residue letters, in kResidueOrder;
//   21..23  "B", "Z", "X": ambiguous residues.  Residue texts keep them in
//           place, so they are letters of their sequence (they take a
//           position and a residue number) but belong to no table column;
//   24..27  ".", "-", "~", "*": gap characters ("." is the one the program
//           writes itself);
//   0       anything else (a blank): the end of a row.
inline constexpr std::string_view kAlphabet = "ACDEFGHIKLMNPQRSTVWYBZX.-~*";

// The letters of a sequence: classes 1..23 of kAlphabet.  Residue texts
// (the RESIDUE lines of gamma files) keep these and drop everything else.
inline constexpr std::string_view kSequenceLetters = kAlphabet.substr(0, 23);

// The converter's alphabet: the 20 residues, then "B", "X", "Z".  The same
// letters as kSequenceLetters, in the converter's own order; FASTA input
// accepts exactly these (after upper-casing).
inline constexpr std::string_view kConverterAlphabet = "ACDEFGHIKLMNPQRSTVWYBXZ";

// 1-based class of c in kAlphabet, 0 when c is not in it.
constexpr int alphabet_class(char c) {
  const auto pos = kAlphabet.find(c);
  return pos == std::string_view::npos ? 0 : static_cast<int>(pos) + 1;
}

// One of the 20 residue letters (class 1..20).
constexpr bool is_residue_letter(char c) {
  const int k = alphabet_class(c);
  return k >= 1 && k <= 20;
}

// A letter of a sequence: a residue letter or "B", "Z", "X" (class 1..23).
// Every such letter has its own residue number.
constexpr bool is_sequence_letter(char c) {
  const int k = alphabet_class(c);
  return k >= 1 && k <= 23;
}

// Any character of the alphabet (class 1..27): not the end of a row.
constexpr bool in_alphabet(char c) { return alphabet_class(c) != 0; }

// Upper-cases a to z; every other character comes back unchanged (no
// locale).
constexpr char caps(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Background amino-acid frequencies in kResidueOrder (the converter's "X"
// profile and the merged profile's unknown-residue row).  They sum to
// 1.00001, not exactly 1: readers that need a distribution rescale them.
extern const std::array<float, 20> kBackground;

}  // namespace xk
