#include "driver/progressive_msa.hpp"

#include "common/names.hpp"
#include "readers/gamma.hpp"
#include "readers/profiles.hpp"

namespace xk::driver {

std::optional<accurate::GroupAlignment> ProgressiveGroups::take(const std::string& stem) {
  {
    std::lock_guard guard(lock_);
    if (const auto found = groups_.find(stem); found != groups_.end()) {
      accurate::GroupAlignment g = std::move(found->second);
      groups_.erase(found);
      return g;
    }
  }
  // Not made by a join: a sequence's stem is its number.
  if (!is_node_name(stem) || stem.find('-') != std::string::npos) return std::nullopt;
  const std::string residues = readgcaseq(gamma_file_of(stem));
  if (getdrctlen(profile_file_of(stem)) != static_cast<int>(residues.size())) return std::nullopt;
  return accurate::sequence_alignment(std::stoi(stem), residues);
}

void ProgressiveGroups::join(const std::string& stem1, const std::string& stem2, const std::string& stem, int len1,
                             int len2, const std::vector<float>& match, const accurate::PairLibrary& library,
                             float library_share) {
  std::optional<accurate::GroupAlignment> a = take(stem1), b = take(stem2);
  if (!a || !b) return;
  const auto n1 = static_cast<std::size_t>(len1), n2 = static_cast<std::size_t>(len2);
  if (a->position_column.size() != n1 || b->position_column.size() != n2 || match.size() != n1 * n2) return;
  std::vector<float> support(match);
  if (library_share > 0.0f) {
    const std::vector<float> lib = accurate::join_support(*a, *b, library);
    for (std::size_t k = 0; k < support.size(); ++k)
      support[k] = (1.0f - library_share) * support[k] + library_share * lib[k];
  }
  const MatchPath path = best_supported_path(len1, len2, support);
  accurate::GroupAlignment g = accurate::join_groups(*a, *b, path);
  std::lock_guard guard(lock_);
  groups_[stem] = std::move(g);
}

std::optional<AssembledMsa> ProgressiveGroups::alignment(const std::string& stem, int n) const {
  std::lock_guard guard(lock_);
  const auto found = groups_.find(stem);
  if (found == groups_.end() || static_cast<int>(found->second.members.size()) != n) return std::nullopt;
  const accurate::GroupAlignment& root = found->second;
  AssembledMsa msa;
  msa.rows = accurate::rows_in_sequence_order(root);
  msa.first_residue.assign(msa.rows.size(), 1);
  msa.parent_residue.assign(msa.rows.empty() ? 0 : msa.rows.front().size(), 0);
  for (std::size_t p = 0; p < root.position_column.size(); ++p)
    msa.parent_residue[static_cast<std::size_t>(root.position_column[p])] = static_cast<int>(p + 1);
  return msa;
}

}  // namespace xk::driver
