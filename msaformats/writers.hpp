// The final alignment as text in the formats other aligners write and
// viewers, tree builders and profile tools read.  Each writer is a pure
// function of an Alignment (alignment.hpp) with at least one row; rows are
// written whole, in order, under their names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "msaformats/alignment.hpp"

namespace xk::msa {

enum class Format { fasta, clustal, stockholm, msf, a2m };

// "fasta", "clustal", "stockholm", "msf" or "a2m" (exactly, lower case);
// nullopt for anything else.
std::optional<Format> parse_format(std::string_view name);

// Aligned FASTA: ">" name, then the row in lines of 60 characters, every
// gap as "-" (case kept: lower case marks the unaligned termini).
std::string to_fasta(const Alignment& a);

// A2M: as FASTA, but gaps in unaligned columns stay ".", so that upper case
// and "-" are the aligned (match) columns and lower case and "." the
// unaligned (insert) ones.
std::string to_a2m(const Alignment& a);

// Clustal: the "CLUSTAL" header line, then blocks of 60 columns, each row
// as its name padded to a common width and its piece, every gap as "-";
// under each block the conservation line (conservation()).
std::string to_clustal(const Alignment& a);

// The conservation line of Clustal for these rows: per column "*" when every
// row holds the same residue (case aside; not X, B or Z), ":" when every row
// holds a residue of one of the strong groups, "." of one of the weak
// groups, " " otherwise (a gap in any row included).
std::string conservation(const Alignment& a);

// Stockholm 1.0, one block with unwrapped rows: per sequence its row (gaps
// as in A2M) and, when a.structure is set, "#=GR <name> SS" with its
// structure; "#=GC SS_cons" when a.structure_consensus is set; "//".
std::string to_stockholm(const Alignment& a);

// GCG MSF: the "!!AA_MULTIPLE_ALIGNMENT 1.0" header, the MSF line with the
// column count and the total check, one Name line per sequence, "//", then
// blocks of 50 columns in groups of 10, every gap as ".".
std::string to_msf(const Alignment& a);

// The GCG check of a text: the sum over characters of (position mod 57,
// plus 1, from position 0) times the upper-case character code, mod 10000.
int gcg_check(std::string_view text);

// The alignment in the given format.
std::string format_alignment(const Alignment& a, Format f);

}  // namespace xk::msa
