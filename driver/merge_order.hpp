// Merge order of the parent-profile phase: which sequences and groups are
// joined, in which order, under which node names; and the phase itself,
// with its console lines, over injected file and tool operations.
//
// A node name is a sequence number ("7", "12") or two node names joined by
// "-" ("3-5", "2-4-1-3-5"); its members are the whole numbers between the
// hyphens.  Node names have no length limit; they appear on the console and
// in the reports.  Files are named by a node's file stem: the sequence
// number for a sequence, "j" and the join's number for a merged node
// ("j1", "j12"), so that a name stays short however many members the node
// has.  Followed by ".drct" and ".gca" the stem names the node's profile
// file and gamma file.
#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "blockalign/baa.hpp"

namespace xk {

// The file stem of the node made by join k (from 1): "j" and k in decimal.
std::string join_stem(int k);

// Whether a stem is one join_stem makes ("j" and digits, no leading zero).
bool is_join_stem(std::string_view stem);

// The name under which the gamma tool's output for member `member` (1 or
// 2) of the join of stem `join` is held until that join's turn: the join's
// stem and "a" or "b".
std::string held_output_stem(const std::string& join, int member);

// One join: sequences p < q (from 1) held the largest similarity; `first`
// and `second` are the node names of the groups they belonged to, and
// `joined` = first + "-" + second is the new node.  first_stem,
// second_stem and stem are the file stems of the three nodes.
struct Join {
  int p = 0;
  int q = 0;
  std::string first;
  std::string second;
  std::string joined;
  float similarity = 0.0f;  // the largest similarity, at which the pair was joined
  std::string first_stem;
  std::string second_stem;
  std::string stem;
  int first_join = -1;   // index in the join list of the join that made first, -1 for a sequence
  int second_join = -1;  // the same for second
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

// The parent profile's two file names, and the name the reports show.
struct ParentFiles {
  std::string profile;  // e.g. "j2.drct"
  std::string gamma;    // e.g. "j2.gca"
  std::string shown;    // e.g. "1-3-2.drct"; empty: the reports show `profile`
};

// The parent of a run with these joins: the last join's node.  With no join
// (a single sequence) the parent is sequence 1's own profile, "1.drct" and
// "1.gca".
ParentFiles parent_files(const std::vector<Join>& joins);

// What the phase needs from the file system and the tools.
struct ParentPhaseTools {
  std::function<bool(const std::string& path)> exists;
  // Makes the gamma file of a profile file (the gamma-tool wrapper); the
  // tool's output may be held under the name `held` (see held_output_stem)
  // until pass_on.  When both members of a join need
  // theirs, the two may run side by side.
  std::function<void(const std::string& profile, const std::string& held)> make_gamma;
  // Merges the two members' profile files into files.merged (reading both
  // lengths and calling the block aligner), its console lines on `console`.
  std::function<void(const MergeFiles& files, std::ostream& console)> merge;
  // The number of positions of a sequence's profile file; when given,
  // joins run side by side only while the tables of all running merges
  // stay within what the largest merge of the run needs and what a merge
  // of the median size needs for every further thread.
  std::function<int(const std::string& profile)> length;
  // Optional: hands on the tool output held under the name `held` (add =
  // false: drops it); called for a join's members in order after the join,
  // joins in order, so that the tools' output comes out as one join at a
  // time, one member at a time, writes it.
  std::function<void(const std::string& held, bool add)> pass_on;
};

// The whole phase.  Writes to `console`: " ...generating the parent profile
// using TESSERA-D(BAA)", then for each join and each member in order either
// " NAME.gca existed" or " ...making NAME.gca" (NAME the node name; followed
// by make_gamma on STEM.drct), then the lines of merge(STEM1.drct,
// STEM2.drct -> STEM.drct).  Returns the parent files (see parent_files);
// the joins go to `joins` when it is given.
//
// Joins whose members are ready run at once on up to `threads` threads
// (the tools must then be safe to call concurrently); each join's console
// lines are gathered and written in join order, so the console and the
// files are the same as with one thread.  A failed join stops the phase
// once the joins before it have been written; its exception propagates.
ParentFiles run_parent_phase(int n, std::span<const float> dist, const ParentPhaseTools& tools,
                             std::ostream& console, unsigned threads = 1,
                             std::vector<Join>* joins = nullptr);

}  // namespace xk
