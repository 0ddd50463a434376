#include "driver/progressive_msa.hpp"

#include <map>

#include "accurate/progressive.hpp"
#include "common/names.hpp"
#include "driver/run_state.hpp"
#include "readers/gamma.hpp"
#include "readers/profiles.hpp"

namespace xk::driver {

namespace {

// A node's group, taken out of `groups` (each is used by one join), or the
// alignment of the sequence the stem names.
std::optional<accurate::GroupAlignment> take_group(std::map<std::string, accurate::GroupAlignment>& groups,
                                                   const std::string& stem, int sequence) {
  if (const auto found = groups.find(stem); found != groups.end()) {
    accurate::GroupAlignment g = std::move(found->second);
    groups.erase(found);
    return g;
  }
  if (stem != std::to_string(sequence)) return std::nullopt;
  const std::string residues = readgcaseq(gamma_file_of(stem));
  if (getdrctlen(profile_file_of(stem)) != static_cast<int>(residues.size())) return std::nullopt;
  return accurate::sequence_alignment(sequence, residues);
}

}  // namespace

std::optional<AssembledMsa> progressive_msa(const RunState& state, const std::vector<Join>& joins) {
  if (joins.empty()) return std::nullopt;
  std::map<std::string, accurate::GroupAlignment> groups;  // the nodes made so far, by file stem
  for (const Join& j : joins) {
    const auto path = state.join_paths.find(j.stem);
    if (path == state.join_paths.end()) return std::nullopt;
    // A member that is a sequence has the join's p (first) or q (second).
    std::optional<accurate::GroupAlignment> a = take_group(groups, j.first_stem, j.p);
    std::optional<accurate::GroupAlignment> b = take_group(groups, j.second_stem, j.q);
    if (!a || !b) return std::nullopt;
    groups[j.stem] = accurate::join_groups(*a, *b, path->second);
  }
  const accurate::GroupAlignment& root = groups.at(joins.back().stem);
  if (static_cast<int>(root.members.size()) != state.n()) return std::nullopt;

  AssembledMsa msa;
  msa.rows = accurate::rows_in_sequence_order(root);
  msa.first_residue.assign(msa.rows.size(), 1);
  msa.parent_residue.assign(msa.rows.empty() ? 0 : msa.rows.front().size(), 0);
  for (std::size_t p = 0; p < root.position_column.size(); ++p)
    msa.parent_residue[static_cast<std::size_t>(root.position_column[p])] = static_cast<int>(p + 1);
  return msa;
}

}  // namespace xk::driver
