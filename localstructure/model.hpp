// The local-structure model of the gamma tool ("model_R.hmm"): a hidden
// Markov model over 282 states, state 0 a silent begin state, states 1..281
// emitting residues.
//
// File format "XKSTRUCT-HMM 1", a text file of whitespace-separated tokens,
// one record per line:
//
//   XKSTRUCT-HMM 1                      first line: format name and version
//   STATES 282                          number of states, begin state included
//   ALPHABET ACDEFGHIKLMNPQRSTVWY       residue order of every 20-value list
//   BACKGROUND p(A) ... p(Y)            background frequencies (sum 1)
//   STATE s CLASS NAME e(A) ... e(Y)    state s = 1..281: its class, a name and
//                                       its 20 emission probabilities (sum 1)
//   STATE 0 BEGIN NAME                  the begin state: no emission values
//   TRANS i j a                         transition probability i -> j; i = 0
//                                       gives the distribution of position 1;
//                                       j = 1..281 (nothing enters state 0)
//   END                                 last record; later lines are not read
//
// Lines that are blank or start with "#" are comments.  Every state 1..281
// needs a STATE line and outgoing transitions summing to 1; so does the
// begin state.  Sums within 1e-6 of 1 are accepted and renormalised.  There
// is no end state: every position is followed by another or by the end of
// the sequence with probability 1.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/residues.hpp"

namespace xk::ls {

inline constexpr int kModelStates = 282;   // states 0..281 of the gamma file
inline constexpr int kResidues = kResidueCount;  // in kResidueOrder
inline constexpr std::string_view kModelFormat = "XKSTRUCT-HMM";
inline constexpr int kModelVersion = 1;

struct Transition {
  int from = 0;
  int to = 0;
  double prob = 0.0;
};

struct StructureModel {
  std::array<double, kResidues> background{};
  std::vector<std::string> state_class;   // per state 0..281 ("BEGIN" for 0)
  std::vector<std::string> state_name;    // per state 0..281
  std::vector<double> emission;           // 282 x 20, row-major; row 0 all 0
  std::vector<Transition> transitions;    // in file order, begin rows included

  int states() const { return static_cast<int>(state_class.size()); }
  double e(int s, int a) const { return emission[static_cast<std::size_t>(s) * kResidues + static_cast<std::size_t>(a)]; }
};

// Parses the model text.  `file` names the model in messages.  Throws
// FatalStop "ERROR: <file> line <n>: <what>!!!" for a malformed line and
// "ERROR: <file>: <what>!!!" for a model that is incomplete as a whole.
StructureModel parse_model(std::string_view text, const std::string& file);

// Reads and parses the named file; a file that cannot be read is a
// FatalStop "ERROR: Cannot read model file <file>: <reason>!!!".
StructureModel read_model(const std::string& file);

// The model as text in the format above, preceded by `comments` (each
// written as a "# " line after the first line).  Numbers are written with 12
// significant digits, so parse_model(format_model(m)) gives m back up to
// that precision.
std::string format_model(const StructureModel& model, const std::vector<std::string>& comments);

}  // namespace xk::ls
