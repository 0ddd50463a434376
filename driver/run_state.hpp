// What the phases of one xKESTRA run share.  The frame (run.cpp) makes it
// after the command line has been read and the output file created; each
// phase reads what earlier phases left and adds its own results.
#pragma once

#include <cassert>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "accurate/library.hpp"
#include "driver/progressive_msa.hpp"
#include "driver/settings.hpp"
#include "scoring/frequencies.hpp"
#include "scoring/scores.hpp"

namespace xk::driver {

// The wall-clock time of one finished phase of a run, in seconds.
struct PhaseTime {
  std::string name;
  double seconds = 0.0;
};

// An n x n single-precision table addressed from 1, as `dist` and
// `aliscore` are.
class SquareTable {
 public:
  SquareTable() = default;
  SquareTable(int n, float fill) : n_(n), v_(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), fill) {}
  int size() const { return n_; }
  float& operator()(int i, int j) { return v_[index(i, j)]; }
  float operator()(int i, int j) const { return v_[index(i, j)]; }
  // All entries, row-major: entry (i, j) at (i-1)*n + (j-1).
  std::span<const float> values() const { return v_; }

 private:
  std::size_t index(int i, int j) const {
    assert(i >= 1 && i <= n_ && j >= 1 && j <= n_);
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n_) + static_cast<std::size_t>(j - 1);
  }
  int n_ = 0;
  std::vector<float> v_;
};

struct RunState {
  RunState(Settings s, std::ostream& console_stream, std::ostream& output_stream)
      : settings(std::move(s)), console(console_stream), out(output_stream) {}

  Settings settings;
  std::ostream& console;  // progress lines and the progress bar
  std::ostream& out;      // the output file (its name is settings.output)
  unsigned threads = 1;   // the run's threads: "-p", or one per core (environment/machine.hpp)
  // Where the input is opened: an absolute path, since the phases work in
  // the run's private folder; settings.input stays the name the user gave,
  // for messages.  Empty: settings.input.
  std::string input_path;
  // The most bytes a block-aligner merge may take; 0: no limit.
  std::uint64_t memory_limit = 0;

  // Input phase: one entry per sequence, sequence k at index k-1.
  std::vector<std::string> seqID;    // 13 characters each, blank-padded
  std::vector<std::string> seqchar;  // residue texts; released by the all-pairs phase
  // Kept to the end for the alignment files: each sequence's identifier
  // (the first word of its header) and its residues as read.
  std::vector<std::string> names;
  std::vector<std::string> sequences;

  // All-pairs phase: the frequency tables (matrix1, matrix2, rescaled in
  // place by the preparation) and their read-only prepared form, kept for
  // the later phases; dist (-1 outside i < j) and aliscore (0 outside i < j).
  FrequencyTables frequencies;
  ScoringTables tables;
  SquareTable dist;
  SquareTable aliscore;

  // Parent-profile phase, accurate mode only: the groups of the merge tree
  // aligned progressively.
  ProgressiveGroups groups;
  // All-pairs phase, accurate mode only: every pair's posteriors, read by
  // the joins and the refinement.
  accurate::PairLibrary library;

  // The phases run so far, in order, with their wall-clock times: "input",
  // "all pairs", "parent profile", "initial MSA", "state model" and, when
  // -o or -t is given, "alignment files" (filled by run_phases; the
  // benchmarks read them).
  std::vector<PhaseTime> phase_times;

  int n() const { return static_cast<int>(seqID.size()); }
};

}  // namespace xk::driver
