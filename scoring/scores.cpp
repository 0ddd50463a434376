#include "scoring/scores.hpp"

#include <array>
#include <cassert>

#include "common/residues.hpp"
#include "common/structure_states.hpp"
#include "common/table.hpp"
#include "scoring/pairscores.hpp"

namespace xk {

namespace {

constexpr float kGammaFloor = 1.0e-9f;  // added to every gamma entry before scoring

// One-hot weights of the first n characters of `seq` (missing ones score 0).
std::vector<float> letter_weights(std::string_view seq, int n) {
  std::vector<float> w(static_cast<std::size_t>(n) * kAminoAcids, 0.0f);
  for (std::size_t i = 0; i < static_cast<std::size_t>(n) && i < seq.size(); ++i) {
    const int a = residue_index(seq[i]);  // case-sensitive: "a" is not scored
    if (a >= 0) w[i * kAminoAcids + static_cast<std::size_t>(a)] = 1.0f;
  }
  return w;
}

// P1 on the first n rows of a gamma table.
void add_gamma_floor(std::span<float> gamma, int n) {
  const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(kStates);
  assert(gamma.size() >= count);
  for (std::size_t k = 0; k < count; ++k) gamma[k] = gamma[k] + kGammaFloor;
}

std::span<const float> rows_of(std::span<const float> table, int n, int width) {
  const std::size_t count = static_cast<std::size_t>(n) * static_cast<std::size_t>(width);
  assert(table.size() >= count);
  return table.first(count);
}

}  // namespace

ScoringTables prepare_tables(FrequencyTables& tables) {
  const std::size_t block = static_cast<std::size_t>(kAminoAcids) * kAminoAcids;
  assert(tables.matrix1.size() >= block * kScoredStates);
  assert(tables.matrix2.size() >= static_cast<std::size_t>(kAminoAcids) * kScoredStates);
  // P2: each state's 20 x 20 block to sum 1.
  for (std::size_t s = 0; s < kScoredStates; ++s) {
    float* m = tables.matrix1.data() + s * block;
    float total = 0.0f;
    for (std::size_t k = 0; k < block; ++k) total = total + m[k];
    if (total > 0.0f)
      for (std::size_t k = 0; k < block; ++k) m[k] = m[k] / total;
  }
  // P3: all of matrix2 to sum 1.
  const std::size_t m2 = static_cast<std::size_t>(kAminoAcids) * kScoredStates;
  float total = 0.0f;
  for (std::size_t k = 0; k < m2; ++k) total = total + tables.matrix2[k];
  for (std::size_t k = 0; k < m2; ++k) tables.matrix2[k] = tables.matrix2[k] / total;

  ScoringTables t;
  t.pair.assign(tables.matrix1.begin(), tables.matrix1.begin() + static_cast<std::ptrdiff_t>(block * kScoredStates));
  t.expected.assign(tables.matrix2.begin(), tables.matrix2.begin() + static_cast<std::ptrdiff_t>(m2));
  // P4: the background, state by state.
  for (int a = 1; a <= kAminoAcids; ++a) {
    float p = 0.0f;
    for (int s = 1; s <= kScoredStates; ++s) p = p + t.expected[m2_index(a, s)];
    t.background[static_cast<std::size_t>(a - 1)] = p;
  }
  detail::derive_pair_tables(t);
  return t;
}

ScoringTables independence_null(const ScoringTables& t) {
  ScoringTables derived;
  const bool has_derived = t.pair_by_state.size() == static_cast<std::size_t>(detail::kPairs) * kScoredStates &&
                           t.pair_log_base.size() == static_cast<std::size_t>(detail::kPairs);
  if (!has_derived) {
    derived = t;
    detail::derive_pair_tables(derived);
  }
  const ScoringTables& src = has_derived ? t : derived;
  ScoringTables n;
  n.background = src.background;
  n.pair_by_state.assign(src.pair_by_state.size(), 0.0f);
  const std::size_t K = kScoredStates;
  for (std::size_t s = 0; s < K; ++s) {
    std::array<double, kAminoAcids> m{};
    double total = 0.0;
    for (int lo = 0; lo < kAminoAcids; ++lo)
      for (int hi = lo; hi < kAminoAcids; ++hi) {
        const double v = src.pair_by_state[static_cast<std::size_t>(detail::pair_index(lo, hi)) * K + s];
        m[static_cast<std::size_t>(lo)] += lo == hi ? v : 0.5 * v;
        if (lo != hi) m[static_cast<std::size_t>(hi)] += 0.5 * v;
        total += v;
      }
    // The null keeps the block's total (1 for a prepared table).
    for (double& x : m) x = total > 0.0 ? x / total : 0.0;
    for (int lo = 0; lo < kAminoAcids; ++lo)
      for (int hi = lo; hi < kAminoAcids; ++hi) {
        const auto v = static_cast<float>((lo == hi ? 1.0 : 2.0) * m[static_cast<std::size_t>(lo)] *
                                          m[static_cast<std::size_t>(hi)] * total);
        n.pair_by_state[static_cast<std::size_t>(detail::pair_index(lo, hi)) * K + s] = v;
      }
  }
  n.pair_log_base = src.pair_log_base;
  // States with equal blocks have equal nulls: the groups stay, each with
  // the null of its first state.
  n.state_groups = src.state_groups;
  const std::size_t groups = static_cast<std::size_t>(n.state_groups.count());
  for (std::size_t g = 0; g < groups; ++g) {
    const auto first = static_cast<std::size_t>(n.state_groups.states[static_cast<std::size_t>(n.state_groups.start[g])]);
    for (std::size_t p = 0; p < static_cast<std::size_t>(detail::kPairs); ++p)
      n.state_groups.pair[p * groups + g] = n.pair_by_state[p * K + first];
  }
  return n;
}

void subtract_independence_null(ScoringTables& t, float share) {
  t.null_share = share;
  t.null_tables = share != 0.0f ? std::make_shared<const ScoringTables>(independence_null(t)) : nullptr;
}

namespace {

// What every score of `t` is taken less of: the null's share, where the
// tables carry a null.
detail::ScoreLess null_of(const ScoringTables& t) {
  if (t.null_share == 0.0f || !t.null_tables) return {};
  return {t.null_tables.get(), t.null_share};
}

// Two sequences scored from their gamma tables (either may be left out,
// empty, where its ordered form is given) with `add` on every gamma entry.
void score_letters(const ScoringTables& t, std::string_view seq1, std::string_view seq2, std::span<const float> gamma1,
                   std::span<const float> gamma2, std::span<const float> ordered1, std::span<const float> ordered2,
                   float add, std::span<float> mij, const detail::ColumnForm* form1 = nullptr,
                   const detail::ColumnForm* form2 = nullptr, bool by_columns = false) {
  const int n1 = static_cast<int>(seq1.size()), n2 = static_cast<int>(seq2.size());
  const std::vector<float> w1 = letter_weights(seq1, n1), w2 = letter_weights(seq2, n2);
  auto rows = [](std::span<const float> gamma, int n) { return gamma.empty() ? gamma : rows_of(gamma, n, kStates); };
  detail::score_pairs(t, {n1, w1, rows(gamma1, n1), add, ordered1, form1}, {n2, w2, rows(gamma2, n2), add, ordered2, form2},
                      mij, {}, 1, by_columns, null_of(t));
}

}  // namespace

void score_sequences(const ScoringTables& t, std::string_view seq1, std::string_view seq2,
                     std::span<const float> gamma1, std::span<const float> gamma2, std::span<float> mij,
                     float gamma_offset) {
  score_letters(t, seq1, seq2, gamma1, gamma2, {}, {}, gamma_offset + kGammaFloor, mij);
}

std::vector<float> ordered_gamma(const ScoringTables& t, std::span<const float> gamma, int n) {
  return detail::state_ordered_rows(t.state_groups, rows_of(gamma, n, kStates), n, kGammaFloor);
}

void score_sequences_ordered(const ScoringTables& t, std::string_view seq1, std::string_view seq2,
                             std::span<const float> gamma1, std::span<const float> gamma2,
                             std::span<const float> ordered1, std::span<const float> ordered2, std::span<float> mij,
                             const detail::ColumnForm* form1, const detail::ColumnForm* form2, bool by_columns) {
  score_letters(t, seq1, seq2, gamma1, gamma2, ordered1, ordered2, kGammaFloor, mij, form1, form2, by_columns);
}

std::shared_ptr<const detail::ColumnForm> sequence_form(const ScoringTables& t, std::string_view seq,
                                                        std::span<const float> ordered) {
  if (ordered.empty()) return nullptr;
  const int n = static_cast<int>(seq.size());
  const std::vector<float> w = letter_weights(seq, n);
  return detail::make_column_form(t, {n, w, {}, kGammaFloor, ordered});
}

void score_profiles(const ScoringTables& t, int n1, int n2, std::span<const float> w1, std::span<const float> w2,
                    std::span<const float> gamma1, std::span<const float> gamma2, std::span<float> mij,
                    float gamma_offset, unsigned threads) {
  const float add = gamma_offset + kGammaFloor;
  detail::score_pairs(t, {n1, rows_of(w1, n1, kAminoAcids), rows_of(gamma1, n1, kStates), add},
                      {n2, rows_of(w2, n2, kAminoAcids), rows_of(gamma2, n2, kStates), add}, mij, {}, threads, false,
                      null_of(t));
}

// The classic routines: P1 in place, P2-P4 through prepare_tables, then the
// same engine with no further offset, since the tables now carry it.
void makemij(int n1, int n2, std::string_view seq1, std::string_view seq2, std::span<float> gamma1,
             std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij) {
  add_gamma_floor(gamma1, n1);
  add_gamma_floor(gamma2, n2);
  const ScoringTables t = prepare_tables(tables);
  const std::vector<float> w1 = letter_weights(seq1, n1), w2 = letter_weights(seq2, n2);
  detail::score_pairs(t, {n1, w1, rows_of(gamma1, n1, kStates), 0.0f}, {n2, w2, rows_of(gamma2, n2, kStates), 0.0f},
                      mij);
}

ScoringTables stage_drctmij(int n1, std::span<float> gamma1, FrequencyTables& tables) {
  add_gamma_floor(gamma1, n1);
  return prepare_tables(tables);
}

void score_staged_drctmij(const ScoringTables& t, int n1, int n2, std::span<const float> w1, std::span<const float> w2,
                          std::span<const float> gamma1, std::span<float> gamma2, std::span<float> mij,
                          unsigned threads, bool by_columns) {
  add_gamma_floor(gamma2, n2);
  detail::score_pairs(t, {n1, rows_of(w1, n1, kAminoAcids), rows_of(gamma1, n1, kStates), 0.0f},
                      {n2, rows_of(w2, n2, kAminoAcids), rows_of(gamma2, n2, kStates), 0.0f}, mij, {}, threads,
                      by_columns, null_of(t));
}

void makedrctmij(int n1, int n2, std::span<const float> w1, std::span<const float> w2, std::span<float> gamma1,
                 std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij, unsigned threads) {
  const ScoringTables t = stage_drctmij(n1, gamma1, tables);
  score_staged_drctmij(t, n1, n2, w1, w2, gamma1, gamma2, mij, threads);
}

}  // namespace xk
