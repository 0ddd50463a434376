// The accurate mode's refinement phase: the alignment's well-filled columns
// become a new parent profile ("0-K.drct" for iteration K, its gamma file
// "0-K.gca" from the gamma tool), every sequence is aligned to it end to end and the rows are
// assembled again, as long as the alignment changes and its sum-of-pairs
// objective does not fall, for at most settings.rounds rounds.
#pragma once

#include <optional>

#include <string>
#include <vector>

#include "driver/initial_msa.hpp"

namespace xk::driver {

struct RunState;

// The refined parent of iteration K is the profile file "0-K.drct" with its
// gamma file "0-K.gca": "0" is no sequence number, so these names clash with
// no sequence's or join's files and the run's clean-up knows them.
ParentFiles refined_parent(int iteration);

// An alignment and the parent its rows were aligned to.
struct ParentAlignment {
  AssembledMsa msa;
  ParentFiles parent;
};

// Runs the rounds from `start` (the initial alignment and its parent), with
// `tools` aligning every sequence to a parent as the initial alignment does.
// Every kept round's reports and listing (headed with its iteration number)
// go to state.out; then the line "Refinement: K iterations, ended WHY" and an
// empty line.  Console: each round's lines, then " ...refinement kept
// iteration K".  Returns the kept alignment with its parent.
// `progressive`, when given, is the progressive alignment of the joins on
// the columns of the same parent: it becomes iteration 2, listed under the
// line "Progressive alignment along the joins" and an empty line, and the
// rounds start from it.
ParentAlignment refinement_phase(RunState& state, ParentAlignment start, const InitialMsaTools& tools,
                                 std::optional<AssembledMsa> progressive = std::nullopt);

}  // namespace xk::driver
