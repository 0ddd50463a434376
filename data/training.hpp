// Training of the bundled local-structure data from annotated structure
// alignments (see data/README.md for the design and every chosen value).
//
// The model: maximal runs of one secondary-structure letter are segments of
// four kinds (H helix, E strand, C coil, P positive-phi coil).  A segment of
// length n <= K(kind) walks a chain of n states of its own; longer ones walk
// a chain of K + 1 states whose middle state repeats.  K = 17, 8, 9, 3 fill
// exactly the 281 emitting states.  Every state belongs to one of thirteen
// classes (the first and last three helix residues, inner helix; strand
// ends, inner strand; first, last and inner coil; positive phi), and all
// states of a class share one 20 x 20 pair-frequency block.
//
// Counting (estimate_model) goes over the training residues with their
// annotation: chains, lengths, which kind follows which, and emissions.
// Pair counting (count_pairs) goes over the structurally aligned residue
// pairs, each weighted by the posterior class weights the scoring mixes
// them with, and by 1 / (pairs of the family), binned by the pair's
// identity.  All weights are doubles; the results depend only on the input
// order, which is fixed (families by folder name, members by file order).
#pragma once

#include <array>
#include <string>
#include <vector>

#include "data/homstrad.hpp"
#include "localstructure/forward_backward.hpp"
#include "localstructure/model.hpp"

namespace xk::data {

inline constexpr int kKinds = 4;     // H, E, C, P
inline constexpr int kClasses = 13;  // pair-frequency blocks
inline constexpr int kIdentityBins = 10;  // pair identity in tenths: bin b holds [b/10, (b+1)/10)

using Block = std::array<double, 400>;  // [a * 20 + b], residue order "ACDEFGHIKLMNPQRSTVWY"

// The fixed state design.
struct Topology {
  std::array<int, kKinds> explicit_max{};              // K per kind
  std::array<std::vector<std::vector<int>>, kKinds> chain;  // chain[kind][n-1] = its states; n = K+1: the long chain
  std::vector<int> kind;       // per state (state 0: -1)
  std::vector<int> klass;      // per state: class 0..7 (state 0: -1)
  std::vector<std::string> name;
  // The state that residue `pos` (from 0) of a run of `length` takes.
  int state_of(int x, int length, int pos) const;
  int loop_index(int x) const { return (explicit_max[x] + 1) / 2; }
};

const Topology& topology();
// The kind of an annotation letter: H 0, E 1, C 2, P 3, -1 otherwise.
int kind_of(char label);

// Weighted counts from the annotated residues.
struct StateCounts {
  std::vector<std::array<double, 20>> emission;  // per state
  std::vector<double> visits;                    // per state (residues, any letter)
  std::array<std::vector<double>, kKinds> length;  // [kind][n-1], n = 1..K+1 (K+1: longer)
  std::array<double, kKinds> excess{};             // sum of (n - (K+1)) over long segments
  std::array<std::array<double, kKinds>, kKinds> next{};
  std::array<double, kKinds> first{};
  std::array<double, 20> composition{};
  long segments = 0;
};

StateCounts count_states(const std::vector<Family>& families);

// Pseudocounts of the model estimate (weighted-sequence units).
struct ModelPriors {
  double emission_class = 20.0;  // class emission towards the composition
  double emission_state = 20.0;  // state emission towards its class emission
  double length = 0.5;           // per chain length
  double order = 0.5;            // per ordered pair of different kinds
};

struct TrainedModel {
  ls::StructureModel model;
  std::vector<double> occupancy;  // per state, sums to 1 over 1..281
  std::vector<std::string> notes;
};

TrainedModel estimate_model(const StateCounts& counts, const ModelPriors& priors);

// Posterior-weighted pair counts: [class][identity bin] blocks (full,
// symmetric: both orders of a pair get half its weight).
struct PairCounts {
  std::array<std::array<Block, kIdentityBins>, kClasses> n{};
  long pairs = 0;    // member pairs seen
  long columns = 0;  // residue pairs seen
};

// The L x 282 posteriors of a member's residues under `model` (a residue
// that is not one of the 20 letters carries no information).
std::vector<double> member_posteriors(const ls::CompiledModel& model, const Member& m);

PairCounts count_pairs(const std::vector<Family>& families, const ls::StructureModel& model);

// The identity of two members over their common residue columns (0 when
// they share none).
double pair_identity(const Member& x, const Member& y);

// Pair-frequency blocks from the counts of the bins below `max_identity`
// (in tenths: bins 0..max_identity-1), each class shrunk towards the pooled
// block with `pseudocount` pairs.  Result: per class a symmetric block that
// sums to 1; `background` gets the pooled block's marginal.
std::array<Block, kClasses> pair_blocks(const PairCounts& counts, int max_identity, double pseudocount,
                                        std::array<double, 20>& background);

// The file texts in their fixed-width layouts.  observed: per state the
// block of its class (diagonal, the two orders summed above it, 0 below).
// expected: per state occupancy x class marginal, scaled per residue so that
// the sum over states is `background`.
std::string observed_text(const Topology& t, const std::array<Block, kClasses>& blocks);
std::string expected_text(const Topology& t, const std::vector<double>& occupancy,
                          const std::array<Block, kClasses>& blocks, const std::array<double, 20>& background);

// The chosen design values.
inline constexpr int kMaxIdentityTenths = 5;  // pairs below 50 % identity; see data/README.md
inline constexpr double kPairPseudocount = 100.0;

}  // namespace xk::data
