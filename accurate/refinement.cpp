#include "accurate/refinement.hpp"

#include "accurate/alignment_profile.hpp"

namespace xk::accurate {

Refinement refine(std::vector<std::string> rows, int rounds, const RefinementSteps& steps, int first_iteration) {
  Refinement r;
  r.iterations = first_iteration;
  r.objective = steps.objective(rows);
  r.rows = std::move(rows);
  for (int round = 1; round <= rounds; ++round) {
    const int iteration = r.iterations + 1;
    Candidate c = steps.realign(r.rows, iteration);
    if (without_empty_columns(c.rows) == without_empty_columns(r.rows)) {
      r.end = RefinementEnd::fixed_point;
      return r;
    }
    const double value = steps.objective(c.rows);
    if (!(value >= r.objective)) {
      r.end = RefinementEnd::fell;
      return r;
    }
    steps.keep(c, iteration, value);
    r.rows = std::move(c.rows);
    r.objective = value;
    r.iterations = iteration;
  }
  r.end = RefinementEnd::rounds;
  return r;
}

}  // namespace xk::accurate
