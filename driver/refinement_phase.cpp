#include "driver/refinement_phase.hpp"

#include <filesystem>
#include <sstream>

#include "accurate/alignment_profile.hpp"
#include "accurate/refinement.hpp"
#include "blockalign/merge.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
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

std::vector<std::string> refinement_phase(RunState& state, std::vector<std::string> rows,
                                          const InitialMsaTools& tools) {
  const accurate::PairTable table = accurate::pair_table(state.frequencies);
  const float go = state.settings.accurate_go, ge = state.settings.accurate_ge;
  const std::string gamma = std::string(kRefinedParent).substr(0, std::string(kRefinedParent).find('.')) + ".gca";

  accurate::RefinementSteps steps;
  steps.objective = [&](const std::vector<std::string>& r) { return accurate::sum_of_pairs(r, table, go, ge); };
  steps.realign = [&](const std::vector<std::string>& r, int iteration) {
    const std::vector<double> profile = accurate::column_profile(r, accurate::sequence_weights(r));
    if (profile.empty()) return accurate::Candidate{r, ""};
    write_merged_profile(kRefinedParent, static_cast<int>(profile.size() / 20), profile);
    std::error_code ec;
    std::filesystem::remove(gamma, ec);  // the last round's gamma file belongs to the last parent
    std::ostringstream report;
    accurate::Candidate c;
    c.rows = run_initial_msa_phase(state.console, report, state.seqID, ParentFiles{kRefinedParent, gamma}, tools,
                                   iteration);
    c.report = report.str();
    return c;
  };
  steps.keep = [&](const accurate::Candidate& c, int, double) {
    state.out << c.report;
    state.out.flush();
    if (!state.out) throw IoError(state.settings.output, "cannot write the output file");
  };
  accurate::Refinement r = accurate::refine(std::move(rows), state.settings.rounds, steps);

  state.console << fw::ConsoleLine().text("...refinement kept iteration").num(r.iterations).str();
  state.out << "Refinement: " << r.iterations << " iterations, ended " << why(r.end) << "\n\n";
  state.out.flush();
  return std::move(r.rows);
}

}  // namespace xk::driver
