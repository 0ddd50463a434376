#include "driver/refinement_phase.hpp"

#include <filesystem>
#include <sstream>

#include "accurate/alignment_profile.hpp"
#include "accurate/refinement.hpp"
#include "blockalign/merge.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "driver/run_state.hpp"

namespace xk::driver {

namespace {

const char* why(accurate::RefinementEnd end) {
  switch (end) {
    case accurate::RefinementEnd::fixed_point: return "at a fixed point";
    case accurate::RefinementEnd::fell: return "when the objective would fall";
    case accurate::RefinementEnd::rounds: return "after the allowed rounds";
  }
  return "";
}

}  // namespace

ParentFiles refined_parent(int iteration) {
  const std::string stem = "0-" + std::to_string(iteration);
  return {profile_file_of(stem), gamma_file_of(stem), profile_file_of(stem)};
}

ParentAlignment refinement_phase(RunState& state, ParentAlignment start, const InitialMsaTools& tools) {
  const accurate::PairTable table = accurate::pair_table(state.frequencies);
  const float go = state.settings.accurate_go, ge = state.settings.accurate_ge;

  ParentAlignment kept = std::move(start);
  ParentAlignment candidate;  // the last round's alignment, until kept or dropped
  accurate::RefinementSteps steps;
  steps.objective = [&](const std::vector<std::string>& r) { return accurate::sum_of_pairs(r, table, go, ge); };
  steps.realign = [&](const std::vector<std::string>& r, int iteration) {
    const std::vector<double> profile = accurate::column_profile(r, accurate::sequence_weights(r));
    if (profile.empty()) return accurate::Candidate{r, ""};
    candidate.parent = refined_parent(iteration);
    write_merged_profile(candidate.parent.profile, static_cast<int>(profile.size() / 20), profile);
    std::ostringstream report;
    candidate.msa = run_initial_msa_phase(state.console, report, state.seqID, candidate.parent, tools, iteration);
    return accurate::Candidate{candidate.msa.rows, report.str()};
  };
  steps.keep = [&](const accurate::Candidate& c, int, double) {
    state.out << c.report;
    state.out.flush();
    if (!state.out) throw IoError(state.settings.output, "cannot write the output file");
    kept = std::move(candidate);
  };
  const accurate::Refinement r = accurate::refine(kept.msa.rows, state.settings.rounds, steps);

  state.console << fw::ConsoleLine().text("...refinement kept iteration").num(r.iterations).str();
  state.out << "Refinement: " << r.iterations << " iterations, ended " << why(r.end) << "\n\n";
  state.out.flush();
  return kept;
}

}  // namespace xk::driver
