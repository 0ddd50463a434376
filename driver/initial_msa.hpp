// The initial multiple alignment phase: every sequence's profile aligned
// against the parent profile, each alignment reported, the alignments
// assembled into one column system and listed.  The scoring, the local
// alignment, the gamma tool and the progress bar come in as tools so the
// phase is the same code in the program and in tests.
#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

#include "driver/merge_order.hpp"
#include "driver/msa_report.hpp"
#include "scoring/dp.hpp"

namespace xk {

// A profile with what the alignment needs of it.
struct ProfileData {
  std::string profile;       // the name reports show ("2.drct", "1-3-2.drct")
  int length = 0;            // residue positions (records of the profile file)
  std::vector<float> pro;    // length x 20, row-major
  std::vector<float> gamma;  // length x 282, row-major, from stem ".gca"
  std::string residues;      // the residue text of the gamma file (every letter kept)
};

// Reads a profile file, its gamma file (stem + ".gca", the stem ending at
// the first "." of the file's own name) and the gamma file's residue text.  Readers' failures as theirs (missing files name the file).
ProfileData load_profile(const std::string& profile);

struct InitialMsaTools {
  std::function<bool(const std::string& path)> exists;
  // Makes the gamma file of a profile file (the gamma-tool wrapper).
  std::function<void(const std::string& profile)> make_gamma;
  // Loads a profile (load_profile in the program).
  std::function<ProfileData(const std::string& profile)> load;
  // Aligns parent (first input) against the sequence (second input): the
  // len1 x len2 profile scores, each doubled and shifted, then dp with the
  // gap penalties 21.0 and 0.4.  May change the gamma tables in place.
  std::function<DpResult(ProfileData& parent, ProfileData& child)> align;
  // Draws the progress bar for sequence s of n.
  std::function<void(int s, int n)> progress;
  // Optional, to align the sequences side by side on `threads` threads:
  // makes, in sequence order, the changes that align would make for one
  // sequence to the parent and to what the alignments share, and returns
  // the rest of that alignment, which reads nothing a later stage changes.
  // stage(parent)(child) gives what align(parent, child) gives.
  std::function<std::function<DpResult(ProfileData& child)>(ProfileData& parent)> stage;
  unsigned threads = 1;
};

// The whole phase for sequences 1..n (n = ids.size(), profile files "s.drct").
// With `stage` and more than one thread the sequences are aligned side by
// side; console and output are the same as one at a time.
// Console: " ...making initial multiple sequence alignment", an empty line,
// the progress bar per sequence, an empty line after the last.  Output file:
// the report of every alignment in sequence order (report_alignment), then
// the final listing (assemble_and_list).  The parent's gamma file is made
// first when it is missing.  Returns the assembled alignment.  A later
// iteration (refinement against a new parent) heads its reports and listing
// with its number and opens with the console line
// " ...refining the multiple sequence alignment (iteration K)" instead.
AssembledMsa run_initial_msa_phase(std::ostream& console, std::ostream& out,
                                   std::span<const std::string> ids, const ParentFiles& parent,
                                   const InitialMsaTools& tools, int iteration = 1);

}  // namespace xk
