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

ParentAlignment refinement_phase(RunState& state, ParentAlignment start, const InitialMsaTools& tools,
                                 std::optional<AssembledMsa> progressive) {
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
  int first = 1;
  // The progressive alignment replaces the alignment against the parent as
  // the start of the rounds.  The objective would mostly keep the latter, as
  // it charges each of the progressive alignment's scattered gaps; measured
  // on training families of the structure-based alignments, starting from
  // the progressive alignment places more residues as the references do.
  if (progressive) {
    first = 2;
    state.out << "Progressive alignment along the joins\n\n";
    write_msa_listing(state.out, state.seqID, progressive->rows, progressive->first_residue, first);
    kept.msa = std::move(*progressive);
  }
  const accurate::Refinement r = accurate::refine(kept.msa.rows, state.settings.rounds, steps, first);

  state.console << fw::ConsoleLine().text("...refinement kept iteration").num(r.iterations).str();
  state.out << "Refinement: " << r.iterations << " iterations, ended " << why(r.end) << "\n\n";
  state.out.flush();
  return kept;
}

}  // namespace xk::driver
