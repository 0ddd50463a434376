// Reading the input FASTA file, and the input phase of a run: for every
// sequence k the sequence file k.seq, the profile file k.drct and the gamma
// file k.gca.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace xk::driver {

struct RunState;

inline constexpr std::size_t kMaxResidues = 9999;  // residues kept per sequence
inline constexpr std::size_t kIdWidth = 13;        // width of a seqID entry
inline constexpr std::size_t kSeqLineWidth = 60;   // residues per line of k.seq

struct FastaSequence {
  std::string id;           // seqID entry: header characters 2..11, blank-padded to 13
  std::string header_word;  // second word of the header, first "(" and ")" removed
  std::string name;         // identifier: the first word of the header (msa::identifier)
  std::string residues;     // upper-case letters of "ACDEFGHIKLMNPQRSTVWYBXZ" only
  std::vector<std::string> warnings;  // console texts (without the leading blank)
};

// Reads a whole FASTA text.  Lines are read whole; a CR before the line end
// is dropped.  Blank lines before the first header are skipped.  In residue
// lines letters are upper-cased; blanks, tabs, "-" and "." are removed; a
// "*" is dropped when only such removable characters follow it up to the end
// of the sequence; "U", "O" and "J" are read as "X" with a warning naming the
// sequence and position (from 1).  A sequence of more than 9999 residues is
// cut at 9999 with a warning; a sequence whose seqID entry equals an earlier
// one gets a warning.
// Throws FatalStop naming `name` and the place at fault for an empty file, a
// file with no header line, text before the first header, a character that
// is not a residue letter (sequence number, identifier, position, character)
// and a sequence with no residues.
std::vector<FastaSequence> read_fasta(std::istream& in, const std::string& name);

// The second word (blank- or tab-separated; the leading ">" belongs to the
// first word) of a header line, with its first "(" and its first ")" removed.
std::string header_word(std::string_view header);

// The content of a sequence file: ">" and the header word on line 1, then
// the residues in lines of at most 60 characters.
std::string sequence_file_text(const FastaSequence& s);

// The input phase: opens settings.input (NotFound "ERROR: File not found -"
// when it cannot be opened), reads and checks it all before any tool runs,
// prints the console lines, and for each sequence k removes stale k.seq,
// k.drct, k.gca, writes k.seq, runs the converter and the gamma tool, and
// removes k.seq.  Fills state.seqID, state.seqchar, state.names and
// state.sequences.
void input_phase(RunState& state);

}  // namespace xk::driver
