// The run settings of xKESTRA, fixed once from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "accurate/pair_posterior.hpp"
#include "msaformats/writers.hpp"

namespace xk::driver {

// "-m": the classic run, or the accurate mode (every residue aligned, the
// alignment refined against its own profile).
enum class Mode { classic, accurate };

struct Settings {
  std::string input;   // input FASTA file name (trailing blanks removed)
  std::string output;  // output file name (trailing blanks removed)
  float shift = 0.0f;  // "-s": added to the doubled pair scores before dp
  float bias = 0.0f;   // "-b": handed to the block aligner
  bool bias_given = false;  // whether "-b" was given
  float go = 21.0f;    // gap-opening penalty passed to dp
  float ge = 0.4f;     // gap-extension penalty passed to dp
  // "-r": seed of the block aligner's random generator for every merge, so
  // that two runs give the same output; unset means "from the clock".
  std::optional<std::uint64_t> seed;
  // "-o", "-f", "-t": the final alignment with every residue, in one of the
  // formats other tools read, and the merge order as a Newick tree; an
  // empty name: that file is not written.
  std::string alignment_file;
  msa::Format format = msa::Format::fasta;
  std::string tree_file;
  // "-p": the most threads the run uses; 0: one per processor core.  The
  // run resolves it once into RunState::threads, which every parallel part
  // of the run reads.
  unsigned threads = 0;
  // "-l": the most memory, in bytes, the block aligner's tables may take in
  // one merge; unset: three quarters of what the machine offers.
  std::optional<std::uint64_t> memory_limit;
  Mode mode = Mode::classic;
  int rounds = 1;  // "-i": refinement rounds of the accurate mode
  // The accurate mode's parts, both on with "-m accurate" (trials turn one
  // off to measure the other): end-gap-free all pairs, and every sequence
  // aligned end to end against the parent.
  bool end_gap_free_pairs = false;
  bool end_to_end_parent = false;
  // Gap opening and extension penalties of those alignments and of the
  // refinement's objective (chosen on training families).
  float accurate_go = 16.0f;
  float accurate_ge = 2.0f;
  // The block aligner's bias in the accurate mode unless "-b" is given
  // (chosen on training families): the joins' sampled alignments cover more
  // of both groups, and the groups are merged along them.
  float accurate_bias = 1.0f;
  // The accurate mode takes every score less this share of its independence
  // null (chosen on training families): unrelated stretches of like local
  // structure then score below 0, so that a sequence's unrelated ends are
  // not laid over the others' domains.
  float accurate_null = 0.25f;
  // At every join of the accurate mode the path is chosen on this share of
  // the pair posteriors' support for each position pair and the rest of the
  // block aligner's sample shares (chosen on training families): the
  // pairs' posteriors keep whole-sequence context that the joins' profiles
  // lose.
  double accurate_library = 0.9;
  // The pair model of those posteriors.
  accurate::PairModel pair_model;
  // Rounds of the consistency transform of those posteriors.
  int consistency_rounds = 1;

  // The gap penalties of the all-pairs alignments and of the alignments
  // against the parent.
  float pairs_go() const { return end_gap_free_pairs ? accurate_go : go; }
  float pairs_ge() const { return end_gap_free_pairs ? accurate_ge : ge; }
  float parent_go() const { return end_to_end_parent ? accurate_go : go; }
  float parent_ge() const { return end_to_end_parent ? accurate_ge : ge; }
  // The share of the independence null taken off every score.
  float null_share() const { return mode == Mode::accurate ? accurate_null : 0.0f; }
  // The bias handed to the block aligner.
  float block_bias() const { return mode == Mode::accurate && !bias_given ? accurate_bias : bias; }
};

}  // namespace xk::driver
