// The accurate mode's progressive alignment: the sequences merged group by
// group as the parent-profile phase joins them, each join along the path
// its block-aligner samples support best.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "accurate/library.hpp"
#include "accurate/progressive.hpp"
#include "blockalign/support_path.hpp"
#include "driver/msa_report.hpp"

namespace xk::driver {

// The groups of the merge tree by file stem ("7" for sequence 7, "j3" for
// join 3).  Joins may be made from several threads at once, each after the
// joins that made its members.
class ProgressiveGroups {
 public:
  // Makes the group of `stem` from its members' groups (taken out: each is
  // used by one join), a sequence's group from the residue text of its
  // gamma file, along the best-supported path (best_supported_path) of
  // (1 - library_share) times `match`, the block aligner's sample shares
  // over the len1 x len2 position pairs of the two profiles, plus
  // library_share times the library's support (join_support).  Makes none
  // when a member's group is missing or its profile length differs from
  // len1 or len2: then no later join that holds it gets a group either.
  void join(const std::string& stem1, const std::string& stem2, const std::string& stem, int len1, int len2,
            const std::vector<float>& match, const accurate::PairLibrary& library, float library_share);

  // The alignment of the group `stem` holding all n sequences in the run's
  // column system: rows in sequence order (residue letters of the
  // sequences' gamma files, '.' for a gap), every residue in its row (first
  // residue 1), and per column the group's profile position there (the last
  // join's node is the parent).  None when there is no such group.
  std::optional<AssembledMsa> alignment(const std::string& stem, int n) const;

 private:
  std::optional<accurate::GroupAlignment> take(const std::string& stem);

  mutable std::mutex lock_;
  std::map<std::string, accurate::GroupAlignment> groups_;
};

}  // namespace xk::driver
