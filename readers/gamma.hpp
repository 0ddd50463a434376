// Readers of gamma files (".gca"): per residue position, the posterior
// probability of each of the 282 local-structure states 0..281, and the
// residue letters.
//
// A GAMMA line starts with "GAMMA" (columns 1-5); columns 1-7 are skipped and
// 282 fields of 9 columns ("(F9.6)", 6 implied decimals) follow at columns
// 8-2545.  The k-th GAMMA line of the file belongs to position k.  A RESIDUE
// line starts with "RESIDUE" and holds residue letters in columns 9-20.
// Every other line is ignored.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "common/structure_states.hpp"
#include "common/vector_path.hpp"

namespace xk {

// What a reader asks of the GAMMA lines of positions 1..L.
enum class GammaRows {
  // Every position has its line, with all 282 fields: a file cut short or
  // a cut line is refused as damaged.  What the main program reads.
  complete,
  // The classic reading: rows after the last GAMMA line stay 0, and a short
  // line reads its missing fields as 0.
  as_found,
};

// Fills table (L rows x 282, row-major, row k-1 = position k) from the
// file's GAMMA lines.  The table is zeroed first; GAMMA lines beyond row L
// are ignored.
// Throws IoError naming the file when it is missing, unreadable or a
// folder, and, with GammaRows::complete, when fewer than L GAMMA lines or a
// line with fewer than 282 fields stand for positions 1..L; FatalStop
// "ERROR: Bad gammaline!!!" for a field that is not a number.
void readgamma(const std::string& path, int L, std::span<float> table, GammaRows rows = GammaRows::complete);
std::vector<float> readgamma(const std::string& path, int L, GammaRows rows = GammaRows::complete);

// Same parse over a file's text already in memory (exposed for tests and
// benchmarks), on a chosen vector path (lowered to what the processor
// runs; readgamma takes the widest): every path gives the same table.
// Reads the lines as found.
void parse_gamma_text(std::string_view text, int L, std::span<float> table, VectorPath path = best_vector_path());

// The residue text: the letters of columns 9-20 of every RESIDUE line, in
// file order, keeping the 20 residue letters and the ambiguity letters
// "B", "Z" and "X" (so that character k is the residue of position k, as in
// the profile the gamma file was made from).  Other characters are dropped.
// A missing file throws NotFound("ERROR: gcb file not found -", path).
std::string readgcaseq(const std::string& path);

}  // namespace xk
