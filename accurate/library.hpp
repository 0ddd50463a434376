// The all-pairs posteriors kept as a library of residue pairs: their
// consistency transform, the support they give to pairing two groups'
// profile positions at a join, and refinement along that support.
// Residues and sequences are numbered from 1.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "accurate/pair_posterior.hpp"
#include "accurate/progressive.hpp"

namespace xk::accurate {

// One posterior per pair of n sequences.  Pairs may be set from several
// threads at once, each pair by one thread; reads follow all writes.
class PairLibrary {
 public:
  explicit PairLibrary(int n = 0);
  // Stores the posteriors of x and y (1 <= x < y <= n): x's residues
  // against y's, y of len_y residues.
  void set(int x, int y, SparsePosterior posterior, int len_y);
  // The entries of residue i of x against y (either order of x and y):
  // y's residues and their posteriors; none where the pair was never set.
  std::span<const PairEntry> partners(int x, int i, int y) const;
  // All of x's residues against y (x != y, both from 1 to n): what
  // partners reads, for callers that read a pair many times.
  const SparsePosterior& table(int x, int y) const;
  int size() const { return n_; }

 private:
  std::size_t index(int x, int y) const;
  int n_ = 0;
  std::vector<SparsePosterior> forward_;   // per pair x < y: x's residues against y's
  std::vector<SparsePosterior> backward_;  // per pair x < y: y's residues against x's
};

// The consistency transform: every pair's posteriors replaced by their
// agreement through the other sequences, (2 P_xy + sum over z of P_xz P_zy)
// / n, kept from `floor` up.  lengths[k - 1]: sequence k's residue count.
// The pairs are shared among `threads` threads; the result does not depend
// on their number.  `between`, when given, is called before each first
// sequence's pairs (on any of the threads); what it throws ends the
// transform and is thrown again on the calling thread.
PairLibrary consistency_transform(const PairLibrary& lib, std::span<const int> lengths, float floor = 0.01f,
                                  unsigned threads = 1, const std::function<void()>& between = {});

// The library's support for pairing the profile positions of two groups:
// element (p - 1) * len2 + (q - 1), len1 and len2 the groups' profile
// lengths (position_column sizes), is the mean over the member pairs
// (x of first, y of second) of the posterior that pairs x's residue in the
// column of first's position p with y's residue in the column of second's
// position q (0 where either has none).  Every value lies in [0, 1].
std::vector<float> join_support(const GroupAlignment& first, const GroupAlignment& second, const PairLibrary& lib);

// The library's score of a multiple alignment (rows in sequence order, row
// k - 1 for sequence k; any character but a sequence letter is a gap): over
// every pair of sequences and every column where both hold a residue, the
// library's posterior of those two residues.  The expected number of
// residue pairs the alignment places as the library does.
double library_score(const std::vector<std::string>& rows, const PairLibrary& lib);

// One round of refinement by the library: each sequence in turn (1..n) is
// taken out, the columns left empty dropped, and put back along the path of
// best support (join_support, best_supported_path) against the others'
// columns.  No step lowers library_score.  Rows in sequence order; the
// result is in sequence order with gaps '.'.
std::vector<std::string> realign_each_to_rest(std::vector<std::string> rows, const PairLibrary& lib);

}  // namespace xk::accurate
