#include "driver/refinement_phase.hpp"

#include <filesystem>
#include <sstream>

#include "accurate/alignment_profile.hpp"
#include "accurate/library.hpp"
#include "accurate/refinement.hpp"
#include "blockalign/merge.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "common/residues.hpp"
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

// The sequence whose residue numbers are the parent positions of an
// alignment's columns (the progressive alignment's parent profile lies on
// one member's positions): its row index, or none.
std::optional<std::size_t> parent_carrier(const AssembledMsa& msa) {
  for (std::size_t s = 0; s < msa.rows.size(); ++s) {
    const std::string& row = msa.rows[s];
    if (row.size() != msa.parent_residue.size()) continue;
    int k = msa.first_residue[s] - 1;
    bool same = true;
    for (std::size_t c = 0; c < row.size() && same; ++c) {
      const int here = is_sequence_letter(row[c]) ? ++k : 0;
      same = here == msa.parent_residue[c];
    }
    if (same) return s;
  }
  return std::nullopt;
}

// The alignment of `rows` (every residue in its row) with the parent
// positions carried by row `carrier` when there is one.
AssembledMsa library_msa(std::vector<std::string> rows, std::optional<std::size_t> carrier) {
  AssembledMsa msa;
  msa.first_residue.assign(rows.size(), 1);
  msa.parent_residue.assign(rows.empty() ? 0 : rows.front().size(), 0);
  if (carrier) {
    int k = 0;
    const std::string& row = rows[*carrier];
    for (std::size_t c = 0; c < row.size(); ++c)
      if (is_sequence_letter(row[c])) msa.parent_residue[c] = ++k;
  }
  msa.rows = std::move(rows);
  return msa;
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
  const bool by_library = progressive.has_value() && state.library.size() == state.n() && state.n() > 1;
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
  // With the library of pair posteriors, the rounds move each sequence
  // against the others along the library's support, the objective the
  // expected number of residue pairs placed as the library does: the
  // progressive alignment was made on the same support, and realigning
  // against a profile by the gap penalties loses what it gained (measured
  // on training families).
  const std::optional<std::size_t> carrier = by_library ? parent_carrier(kept.msa) : std::nullopt;
  if (by_library) {
    steps.objective = [&](const std::vector<std::string>& r) { return accurate::library_score(r, state.library); };
    steps.realign = [&](const std::vector<std::string>& r, int iteration) {
      state.console << fw::ConsoleLine().text("...refining by the pair posteriors, iteration").num(iteration).str();
      state.console.flush();
      candidate.parent = kept.parent;
      candidate.msa = library_msa(accurate::realign_each_to_rest(r, state.library), carrier);
      std::ostringstream report;
      write_msa_listing(report, state.seqID, candidate.msa.rows, candidate.msa.first_residue, iteration);
      return accurate::Candidate{candidate.msa.rows, report.str()};
    };
  }
  const accurate::Refinement r = accurate::refine(kept.msa.rows, state.settings.rounds, steps, first);

  state.console << fw::ConsoleLine().text("...refinement kept iteration").num(r.iterations).str();
  state.out << "Refinement: " << r.iterations << " iterations, ended " << why(r.end) << "\n\n";
  state.out.flush();
  return kept;
}

}  // namespace xk::driver
