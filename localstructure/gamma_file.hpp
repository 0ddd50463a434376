// The gamma file the tool writes (".gca"), as the main program reads it:
//
//   XKORDEL-GAMMA 1                 header lines (ignored by the readers)
//   MODEL    <model file>
//   PROFILE  <profile file>
//   LENGTH   <L>
//   LOGODDS  <log-odds of the profile, model against background, nats>
//   RESIDUE  <letters>              "RESIDUE", a blank, up to 12 residue
//                                   letters in columns 9-20, in position order
//   GAMMA  <282 x (F9.6)>           one line per position 1..L: "GAMMA", two
//                                   blanks, the posteriors of states 0..281
//
// All RESIDUE lines come before the GAMMA lines.  An empty profile gives the
// header only.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "localstructure/forward_backward.hpp"

namespace xk::ls {

inline constexpr long long kMicro = 1000000;   // the GAMMA fields' 6 decimals

// Rounds one posterior row (282 values, entry 0 the begin state, summing to
// 1) to micro-units (10^-6) that sum to exactly 10^6: entry 0 is written 0;
// the others are rounded to the nearest unit and the rounding remainder is
// spread one unit at a time over the entries rounded the farthest
// (largest remainders), so every entry stays within one unit of its exact
// value.
void round_row(std::span<const double> row, std::span<long long> units);

// The letter written for a record's residue letter: upper-cased; anything
// but "ACDEFGHIKLMNPQRSTVWYBZX" becomes "X" so that letter k stays the
// residue of position k.
char residue_letter(char c);

struct GammaHeader {
  std::string model;      // model file name
  std::string profile;    // profile file name
};

// The gamma file text, handed to `put` in pieces in file order (the header,
// then one piece per GAMMA line), so that a writer needs no buffer of the
// whole file.  `letters` holds one letter per position (already passed
// through residue_letter); `post` the posteriors.
void format_gamma_file(const GammaHeader& header, std::string_view letters, const Posteriors& post,
                       const std::function<void(std::string_view)>& put);

// The whole gamma file text as one string.
std::string format_gamma_file(const GammaHeader& header, std::string_view letters, const Posteriors& post);

}  // namespace xk::ls
