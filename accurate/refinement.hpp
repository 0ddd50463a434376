// Refinement of a multiple alignment against its own profile: realign, keep
// the result when the objective does not fall, stop at a fixed point, at a
// fall, or after the allowed rounds.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace xk::accurate {

// One realignment's result: the sequences' rows in one column system and
// whatever the caller reports for it (written only when it is kept).
struct Candidate {
  std::vector<std::string> rows;
  std::string report;
};

enum class RefinementEnd {
  fixed_point,  // a round placed every residue as before
  fell,         // a round scored lower by the objective: its result is dropped
  rounds,       // the allowed rounds ran out
};

struct Refinement {
  std::vector<std::string> rows;  // the last kept alignment
  int iterations = 1;             // its number: 1 for the starting alignment
  RefinementEnd end = RefinementEnd::rounds;
  double objective = 0.0;         // the objective of `rows`
};

struct RefinementSteps {
  // Realigns against the profile of `rows`; `iteration` is the number the
  // result would carry (2 for the first round).
  std::function<Candidate(const std::vector<std::string>& rows, int iteration)> realign;
  // The objective (higher is better).
  std::function<double(const std::vector<std::string>& rows)> objective;
  // Called for every kept candidate, in order.
  std::function<void(const Candidate& kept, int iteration, double objective)> keep;
};

// Runs at most `rounds` rounds (0: none) from the alignment `rows`, whose
// number is `first_iteration` (the first round's result is iteration + 1).  Two
// alignments are the same when they are equal without their empty columns.
// The result's objective is never below the start's.
Refinement refine(std::vector<std::string> rows, int rounds, const RefinementSteps& steps, int first_iteration = 1);

}  // namespace xk::accurate
