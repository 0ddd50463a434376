// The accurate mode's refinement phase: the alignment's well-filled columns
// become a new parent profile ("0.drct", its gamma file "0.gca" from the
// gamma tool), every sequence is aligned to it end to end and the rows are
// assembled again, as long as the alignment changes and its sum-of-pairs
// objective does not fall, for at most settings.rounds rounds.
#pragma once

#include <string>
#include <vector>

#include "driver/initial_msa.hpp"

namespace xk::driver {

struct RunState;

// The profile file of the refined parent; "0" is no sequence number, so the
// name is free and the shutdown removes it with the run's other files.
inline constexpr const char* kRefinedParent = "0.drct";

// Runs the rounds from `rows` (the initial alignment's rows), with `tools`
// aligning every sequence to a parent as the initial alignment does.  Every
// kept round's reports and listing (headed with its iteration number) go to
// state.out; then the line "Refinement: K iterations, ended WHY" and an
// empty line.  Console: each round's lines, then " ...refinement kept
// iteration K".  Returns the kept alignment's rows.
std::vector<std::string> refinement_phase(RunState& state, std::vector<std::string> rows,
                                          const InitialMsaTools& tools);

}  // namespace xk::driver
