#include "driver/all_pairs.hpp"

#include <algorithm>
#include <exception>

#include <malloc.h>

#include "common/ending.hpp"
#include "common/interrupt.hpp"
#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "common/table.hpp"
#include "driver/ordered_pool.hpp"
#include "driver/run_state.hpp"
#include "readers/gamma.hpp"
#include "scoring/dp.hpp"

namespace xk::driver {

GammaCache::GammaCache(std::vector<std::string> files, std::vector<int> lengths, Reorder reorder, Prepare prepare)
    : files_(std::move(files)), lengths_(std::move(lengths)), reorder_(std::move(reorder)), prepare_(std::move(prepare)) {
  entries_.reserve(files_.size());
  for (std::size_t k = 0; k < files_.size(); ++k) entries_.push_back(std::make_unique<Entry>());
}

GammaCache::Entry& GammaCache::loaded(int k) {
  const auto idx = static_cast<std::size_t>(k - 1);
  Entry& e = *entries_.at(idx);
  std::lock_guard lock(e.m);
  if (!e.loaded) {
    e.table = readgamma(files_[idx], lengths_[idx]);
    if (reorder_) e.ordered = reorder_(e.table, lengths_[idx]);
    // The ordered form is all the scorer reads: the table is let go.
    if (!e.ordered.empty()) e.table = std::vector<float>();
    if (prepare_) e.form = prepare_(k, e.ordered);
    e.loaded = true;
  }
  return e;
}

std::span<const float> GammaCache::get(int k) { return loaded(k).table; }

const xk::detail::ColumnForm* GammaCache::form(int k) { return loaded(k).form.get(); }

std::span<const float> GammaCache::ordered(int k) { return loaded(k).ordered; }

std::string gamma_file(int k) { return gamma_file_of(std::to_string(k)); }

PairResult align_pair(const ScoringTables& tables, std::string_view name1, std::string_view name2,
                      std::string_view seq1, std::string_view seq2, std::span<const float> gamma1,
                      std::span<const float> gamma2, float shift, float go, float ge,
                      std::optional<FreeEnds> ends, std::span<const float> ordered1,
                      std::span<const float> ordered2, const xk::detail::ColumnForm* form1,
                      const xk::detail::ColumnForm* form2, const accurate::PairModel* model) {
  const int len1 = static_cast<int>(seq1.size()), len2 = static_cast<int>(seq2.size());
  // Every entry is scored before it is read.
  const auto cells = make_scratch_table<float>(seq1.size() * seq2.size(), "align matrix");
  const std::span<float> align(cells.get(), seq1.size() * seq2.size());
  // The local aligner reads the table by columns: scored so where nothing
  // else reads it.
  const bool by_columns = model == nullptr && !ends;
  score_sequences_ordered(tables, seq1, seq2, gamma1, gamma2, ordered1, ordered2, align, form1, form2, by_columns);
  accurate::SparsePosterior posterior;
  if (model != nullptr) posterior = accurate::pair_posterior(len1, len2, align, *model);
  for (float& x : align) x = x + x + shift;
  const DpResult r = ends         ? dp_ends(len1, len2, go, ge, align, *ends)
                     : by_columns ? dp_by_columns(len1, len2, go, ge, align)
                                  : dp(len1, len2, go, ge, align);
  PairReport rep = pair_report(name1, name2, seq1, seq2, r);
  PairResult out;
  out.score = r.score;
  out.fraction = identity_fraction(rep.row1, rep.row2);
  out.report = std::move(rep.text);
  out.posterior = std::move(posterior);
  return out;
}

// Kept in one piece (about 80 lines): the gamma cache, the pair producer and
// the in-order consumer are lambdas over the phase's shared state.
void all_pairs_phase(RunState& state) {
  state.frequencies = load_frequency_tables("observed", "expected");
  state.tables = prepare_tables(state.frequencies);
  subtract_independence_null(state.tables, state.settings.null_share());

  const int n = state.n();
  state.dist = SquareTable(n, -1.0f);
  state.aliscore = SquareTable(n, 0.0f);
  const bool keep_library = state.settings.mode == Mode::accurate;
  if (keep_library) state.library = accurate::PairLibrary(n);
  const accurate::PairModel model = state.settings.pair_model;
  const long long total = static_cast<long long>(n) * (n - 1) / 2;
  state.console << fw::ConsoleLine().text("...performing all possible pairwise alignments based on TESSERA-D(DP)").str();
  state.console.flush();

  std::vector<std::string> files;
  std::vector<int> lengths;
  for (int k = 1; k <= n; ++k) {
    files.push_back(gamma_file(k));
    lengths.push_back(static_cast<int>(state.seqchar[static_cast<std::size_t>(k - 1)].size()));
  }
  // Each table is reordered for the scorer, and each sequence made ready as
  // the columns of a product, once, not once per pair; all let go when the
  // pairs are done.
  std::optional<GammaCache> gammas;
  gammas.emplace(
      files, lengths,
      [&state](std::span<const float> table, int length) { return ordered_gamma(state.tables, table, length); },
      [&state](int k, std::span<const float> ordered) {
        return sequence_form(state.tables, state.seqchar[static_cast<std::size_t>(k - 1)], ordered);
      });

  // Pair c (from 0) is (i, j): row i holds the pairs (i, i+1) .. (i, n).
  std::vector<long long> row_start(static_cast<std::size_t>(std::max(n, 1)));
  for (int i = 1, c = 0; i <= n; c += n - i, ++i) row_start[static_cast<std::size_t>(i - 1)] = c;
  auto pair_of = [&](std::size_t c) {
    const auto it = std::upper_bound(row_start.begin(), row_start.end(), static_cast<long long>(c));
    const int i = static_cast<int>(it - row_start.begin());
    const int j = i + 1 + static_cast<int>(static_cast<long long>(c) - row_start[static_cast<std::size_t>(i - 1)]);
    return std::pair<int, int>(i, j);
  };

  const Settings& set = state.settings;
  const std::optional<FreeEnds> ends =
      set.end_gap_free_pairs ? std::optional<FreeEnds>(kEndGapFree) : std::nullopt;
  auto produce = [&](std::size_t c) {
    check_interrupt();
    const auto [i, j] = pair_of(c);
    const auto g1 = gammas->get(i);
    const auto g2 = gammas->get(j);
    return align_pair(state.tables, files[static_cast<std::size_t>(i - 1)], files[static_cast<std::size_t>(j - 1)],
                      state.seqchar[static_cast<std::size_t>(i - 1)], state.seqchar[static_cast<std::size_t>(j - 1)],
                      g1, g2, set.shift, set.pairs_go(), set.pairs_ge(), ends, gammas->ordered(i), gammas->ordered(j),
                      gammas->form(i), gammas->form(j), keep_library ? &model : nullptr);
  };
  auto consume = [&](std::size_t c, PairResult&& r) {
    state.console << progress_bar(static_cast<long long>(c) + 1, total);
    state.console.flush();
    const auto [i, j] = pair_of(c);
    state.aliscore(i, j) = static_cast<float>(r.score);
    state.dist(i, j) = r.fraction;
    if (keep_library)
      state.library.set(i, j, std::move(r.posterior),
                        static_cast<int>(state.seqchar[static_cast<std::size_t>(j - 1)].size()));
    state.out << r.report;
    state.out.flush();
    if (!state.out) throw IoError(set.output, "cannot write the output file");
  };
  // Pairs go to the threads in runs of consecutive pairs, a few runs per
  // thread and phase: each hand-over between threads costs a wake-up,
  // which on a busy machine takes far longer than a small pair.
  const std::size_t pairs = static_cast<std::size_t>(total);
  const std::size_t run = std::max<std::size_t>(1, pairs / (16 * std::max(1u, state.threads)));
  const std::size_t runs = (pairs + run - 1) / run;
  // A failed pair ends its run; the pairs before it are written first.
  struct Run {
    std::vector<PairResult> results;
    std::exception_ptr error;
  };
  ordered_run<Run>(
      runs, state.threads,
      [&](std::size_t k) {
        Run r;
        try {
          for (std::size_t c = k * run; c < std::min(pairs, (k + 1) * run); ++c) r.results.push_back(produce(c));
        } catch (...) {
          r.error = std::current_exception();
        }
        return r;
      },
      [](std::size_t) {},
      [&](std::size_t k, Run&& r) {
        for (std::size_t c = 0; c < r.results.size(); ++c) consume(k * run + c, std::move(r.results[c]));
        if (!r.error) return;
        state.console << progress_bar(static_cast<long long>(k * run + r.results.size()) + 1, total);
        std::rethrow_exception(r.error);
      });
  gammas.reset();
  state.seqchar.clear();
  state.seqchar.shrink_to_fit();
  state.console << '\n';
  state.console.flush();
  if (keep_library && n > 2)
    for (int round = 0; round < set.consistency_rounds; ++round) {
      state.console << fw::ConsoleLine().text("...making the pair posteriors consistent through the other sequences").str();
      state.console.flush();
      state.library = accurate::consistency_transform(state.library, lengths, 0.01f, state.threads, check_interrupt);
    }
  // What the phase let go (the sequences' tables and column forms, the
  // pairs' own posteriors after the consistency rounds) is many blocks that
  // stay with the allocator unless handed back, and the block aligner's
  // large tables would come on top of them.
  malloc_trim(0);
}

}  // namespace xk::driver
