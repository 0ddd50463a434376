// The all-pairs phase: every pair (i, j), i < j, of the input sequences is
// aligned once; each pair's report goes to the output file in pair order,
// its score to aliscore(i, j) and its identity fraction to dist(i, j).
#pragma once

#include <memory>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "accurate/library.hpp"
#include "driver/pair_report.hpp"
#include "scoring/dp_ends.hpp"
#include "scoring/scores.hpp"

namespace xk::driver {

struct RunState;

// The gamma tables of the input sequences, each file read and parsed once
// per run, on first use, by whichever thread needs it first.  Safe to share
// between threads.  A table is exactly what readgamma gives for the file;
// scoring it with gamma_offset 0 is what a fresh read for every pair gives.
class GammaCache {
 public:
  // The table reordered once for the scorer (ordered_gamma), from the
  // table and its length.
  using Reorder = std::function<std::vector<float>(std::span<const float> table, int length)>;
  // What the scorer makes of sequence k (from 1) as the columns of a
  // product (sequence_form), from its ordered form.
  using Prepare = std::function<std::shared_ptr<const xk::detail::ColumnForm>(int k, std::span<const float> ordered)>;

  // files[k-1] and lengths[k-1]: the gamma file and residue count of
  // sequence k; `reorder`, when given, makes each table's ordered form as
  // it is read, and when that form is not empty it replaces the table
  // (get then gives an empty span); `prepare`, when given, makes each
  // sequence's column form after its ordered form.
  GammaCache(std::vector<std::string> files, std::vector<int> lengths, Reorder reorder = {}, Prepare prepare = {});
  // The L x 282 table of sequence k (from 1).  Read errors propagate (as
  // readgamma throws them) and the next call tries the file again.
  std::span<const float> get(int k);
  // Its ordered form (empty without `reorder`), read as get reads.
  std::span<const float> ordered(int k);
  // Its column form (null without `prepare`), read as get reads.
  const xk::detail::ColumnForm* form(int k);

 private:
  struct Entry {
    std::mutex m;
    bool loaded = false;
    std::vector<float> table, ordered;
    std::shared_ptr<const xk::detail::ColumnForm> form;
  };
  Entry& loaded(int k);
  std::vector<std::string> files_;
  std::vector<int> lengths_;
  Reorder reorder_;
  Prepare prepare_;
  std::vector<std::unique_ptr<Entry>> entries_;
};

// What one pair gives.
struct PairResult {
  int score = 0;         // dp's score
  float fraction = 0.0f; // identity fraction
  std::string report;    // the pair report, as written to the output file
  accurate::SparsePosterior posterior;  // with `model`: seq1's residues against seq2's
};

// Aligns one pair: pair scores from the prepared tables and both gamma
// tables, each score x turned into x + x + shift, dp with go and ge (or,
// with `ends`, dp_ends with those ends), the report (names are the two
// gamma file names) and the identity fraction.
// ordered1/ordered2: the tables' ordered forms (ordered_gamma) where made;
// form1/form2: the sequences' column forms (sequence_form) where made.
// model: when given, the pair's posteriors under it (pair_posterior) from
// the scores before doubling.
PairResult align_pair(const ScoringTables& tables, std::string_view name1, std::string_view name2,
                      std::string_view seq1, std::string_view seq2, std::span<const float> gamma1,
                      std::span<const float> gamma2, float shift, float go, float ge,
                      std::optional<FreeEnds> ends = std::nullopt, std::span<const float> ordered1 = {},
                      std::span<const float> ordered2 = {}, const xk::detail::ColumnForm* form1 = nullptr,
                      const xk::detail::ColumnForm* form2 = nullptr, const accurate::PairModel* model = nullptr);

// The gamma file name of sequence (or node) stem: "1" -> "1.gca".
std::string gamma_file(int k);

// The phase: loads the frequency tables ("observed", "expected") into
// state.frequencies and prepares state.tables, fills state.dist and
// state.aliscore, writes the pair reports to state.out (flushed after each)
// and the progress bar to state.console, and releases state.seqchar.  Runs
// the pairs on state.threads threads; the output is the same for every
// thread count.  With settings.end_gap_free_pairs (the accurate mode) the
// pairs are aligned end-gap-free with that mode's gap penalties.  Throws IoError when the output file
// cannot be written.
void all_pairs_phase(RunState& state);

}  // namespace xk::driver
