// The main program's letter string and the character classes of alignment
// rows.
//
// `alphabet` is "ACDEFGHIKLMNPQRSTVWYBZX.-~*".  The class of a character is
// its position (from 1) in that string, 0 when it is not in it:
//   1..20   the residue letters "ACDEFGHIKLMNPQRSTVWY" (the columns of every
//           20-wide table: profiles, frequencies, emissions);
//   21..23  "B", "Z", "X": ambiguous residues.  The residue texts keep them
//           in place, so they are letters of their sequence (they take a
//           position and a residue number) but belong to no table column;
//   24..27  ".", "-", "~", "*": gap characters ("." is the one the program
//           writes itself);
//   0       anything else (a blank): the end of a row.
#pragma once

#include <string_view>

namespace xk {

inline constexpr std::string_view kAlphabet = "ACDEFGHIKLMNPQRSTVWYBZX.-~*";

// 1-based class of c, 0 when c is not in the alphabet.
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

}  // namespace xk
