#include "driver/alignment_files.hpp"

#include <filesystem>

#include "common/ending.hpp"
#include "common/text_file.hpp"
#include "driver/external_tools.hpp"
#include "driver/run_state.hpp"
#include "environment/locate.hpp"
#include "localstructure/model.hpp"
#include "msaformats/full_length.hpp"
#include "msaformats/newick.hpp"
#include "msaformats/writers.hpp"
#include "readers/gamma.hpp"

namespace xk::driver {

namespace {

// The structure letter of every residue of a gamma file.
std::string gamma_structure(const std::string& gamma, std::string_view state_letter) {
  const int length = static_cast<int>(readgcaseq(gamma).size());
  return msa::residue_structure(readgamma(gamma, length), state_letter);
}

}  // namespace

std::string structure_state_letters() {
  // The model the gamma tool runs with, found where the run finds it (named
  // as given when it is in the working directory).
  std::string file = kGammaModel;
  if (!std::filesystem::exists(file))
    if (const auto found = locate(kGammaModel, search_folders())) file = found->string();
  const ls::StructureModel model = ls::read_model(file);
  std::string letters(static_cast<std::size_t>(model.states()), ' ');
  for (std::size_t m = 1; m < letters.size(); ++m) letters[m] = msa::structure_letter(model.state_class[m]);
  return letters;
}

msa::Alignment final_alignment(const RunState& state, const AssembledMsa& msa, const std::string& parent_gamma,
                               bool structure) {
  msa::Alignment a;
  a.names = msa::unique_names(state.names);
  msa::FullLength f = msa::full_length_rows(a.names, state.sequences, msa.rows, msa.first_residue);
  a.rows = std::move(f.rows);
  if (!structure) return a;
  const std::string letters = structure_state_letters();
  for (std::size_t s = 0; s < a.rows.size(); ++s)
    a.structure.push_back(msa::row_structure(a.rows[s], gamma_structure(std::to_string(s + 1) + ".gca", letters)));
  const std::size_t width = a.rows.empty() ? 0 : a.rows.front().size();
  a.structure_consensus =
      msa::consensus_structure(width, f.leading, msa.parent_residue, gamma_structure(parent_gamma, letters));
  return a;
}

void write_alignment_files(const RunState& state, const AssembledMsa& msa, std::span<const Join> joins,
                           const ParentFiles& parent) {
  const Settings& s = state.settings;
  if (!s.alignment_file.empty()) {
    const bool structure = s.format == msa::Format::stockholm;
    write_text_file(s.alignment_file, msa::format_alignment(final_alignment(state, msa, parent.gamma, structure), s.format));
  }
  if (!s.tree_file.empty()) {
    std::vector<msa::TreeJoin> tree;
    for (const Join& j : joins) tree.push_back({j.first, j.second, j.joined, j.similarity});
    write_text_file(s.tree_file, msa::newick_tree(msa::unique_names(state.names), tree));
  }
}

}  // namespace xk::driver
