// The merge order of a run as a rooted Newick tree.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace xk::msa {

// One join of the merge order: two nodes, by node name (a sequence number
// "3", or the name an earlier join gave its node), joined at `similarity`
// into the node named `joined`.
struct TreeJoin {
  std::string first;
  std::string second;
  std::string joined;
  double similarity = 0.0;
};

// A leaf label as Newick reads it: unchanged when it holds none of
// " \t()[]':;,_" (an unquoted "_" would be read as a blank), otherwise in
// single quotes with every "'" doubled.
std::string newick_label(std::string_view name);

// The tree, ending in ";" and a line end.  leaf_names[k-1] names sequence
// k.  Each join is an internal node at height (1 - similarity) / 2, the
// usual average-linkage reading of a similarity; a leaf's height is 0, and
// a branch is the height of its parent less its own (never below 0),
// written with 5 decimals.  Nodes that no join brings together (groups the
// merge order left apart) are joined pairwise, in order of their first
// appearance, at height 1 (similarity -1, the mark of no similarity).
// So n leaves give n - 1 internal nodes; one leaf gives "name;".
// A join naming a node that does not exist (or is already joined) is an
// internal error (asserted).
std::string newick_tree(std::span<const std::string> leaf_names, std::span<const TreeJoin> joins);

}  // namespace xk::msa
