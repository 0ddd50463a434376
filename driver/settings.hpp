// The run settings of xKESTRA, fixed once from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace xk::driver {

// "-m": the classic run, or the accurate mode (every residue aligned, the
// alignment refined against its own profile).
enum class Mode { classic, accurate };

struct Settings {
  std::string input;   // input FASTA file name (trailing blanks removed)
  std::string output;  // output file name (trailing blanks removed)
  float shift = 0.0f;  // "-s": added to the doubled pair scores before dp
  float bias = 0.0f;   // "-b": handed to the block aligner
  float go = 21.0f;    // gap-opening penalty passed to dp
  float ge = 0.4f;     // gap-extension penalty passed to dp
  // "-r": seed of the block aligner's random generator for every merge, so
  // that two runs give the same output; unset means "from the clock".
  std::optional<std::uint64_t> seed;
  Mode mode = Mode::classic;
  int rounds = 2;  // "-i": refinement rounds of the accurate mode
  // Gap opening and extension penalties of the accurate mode's end-to-end
  // and end-gap-free alignments (chosen on training families).
  float accurate_go = 12.0f;
  float accurate_ge = 1.0f;

  // The gap penalties that the pairwise alignments of this mode use.
  float pair_go() const { return mode == Mode::accurate ? accurate_go : go; }
  float pair_ge() const { return mode == Mode::accurate ? accurate_ge : ge; }
};

}  // namespace xk::driver
