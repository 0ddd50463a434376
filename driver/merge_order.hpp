// Merge order of the parent-profile phase: which sequences and groups are
// joined, in which order, under which node names; and the phase itself,
// with its console lines, over injected file and tool operations.
//
// A node name is a sequence number ("7", "12") or two node names joined by
// "-" ("3-5", "2-4-1-3-5"); its members are the whole numbers between the
// hyphens.  Followed by ".drct" and ".gca" it names the node's profile file
// and gamma file.
#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xk {

// One join: sequences p < q (from 1) held the largest similarity; `first`
// and `second` are the node names of the groups they belonged to, and
// `joined` = first + "-" + second is the new node.
struct Join {
  int p = 0;
  int q = 0;
  std::string first;
  std::string second;
  std::string joined;
  float similarity = 0.0f;  // the largest similarity, at which the pair was joined
};

// Whether sequence `k` is a member of node `name` (whole numbers between the
// hyphens: "12-3" contains 12 and 3, not 1).
bool node_contains(std::string_view name, int k);

// The joins, in order.  dist: n x n single-precision similarities, row-major,
// dist[(i-1)*n + (j-1)]; only the entries above the diagonal (i < j) are
// read, each the identity fraction of sequences i and j (0..1) or -1.0 for
// an empty pair.  None may be NaN (asserted).
//
// Each step takes the largest live value (ties: the smallest column, then
// the smallest row), retires it, and gives the pair's similarity to every
// other sequence m as the mean of its two entries, stored in the larger
// entry (ties to p's), the other retired (-1.0).  The names of p and q are
// the longest nodes made so far that contain them (the bare number if
// none); the phase ends when only -1.0 is left or when p and q already
// belong to the same node.  With n < 2 there is no join.
std::vector<Join> merge_order(int n, std::span<const float> dist);

// The parent profile's two file names.
struct ParentFiles {
  std::string profile;  // e.g. "1-3-2.drct"
  std::string gamma;    // e.g. "1-3-2.gca"
};

// The parent of a run with these joins: the last join's node.  With no join
// (a single sequence) the parent is sequence 1's own profile, "1.drct" and
// "1.gca".
ParentFiles parent_files(const std::vector<Join>& joins);

// What the phase needs from the file system and the tools.
struct ParentPhaseTools {
  std::function<bool(const std::string& path)> exists;
  // Makes the gamma file of a profile file (the gamma-tool wrapper).
  std::function<void(const std::string& profile)> make_gamma;
  // Merges the two members' profile files into first-stem "-" second-stem
  // ".drct" (reading both lengths and calling the block aligner).
  std::function<void(const std::string& profile1, const std::string& profile2)> merge;
};

// The whole phase.  Writes to `console`: " ...generating the parent profile
// using TESSERA-D(BAA)", then for each join and each member in order either
// " NAME.gca existed" or " ...making NAME.gca" (followed by make_gamma on
// NAME.drct), then calls merge(first.drct, second.drct).  Returns the parent
// files (see parent_files); the joins go to `joins` when it is given.
ParentFiles run_parent_phase(int n, std::span<const float> dist, const ParentPhaseTools& tools,
                             std::ostream& console, std::vector<Join>* joins = nullptr);

}  // namespace xk
