// Structure-mixed position-pair scores, in bits.
//
// score(i, j, a, b) = log2( [sum_s g1(i,s) g2(j,s) P(lo,hi,s)] / [sum_s g1(i,s) g2(j,s)]
//                           / (f p(a) p(b)) ),   f = 1 if a = b, else 2,
// over states s = 1..281 (gamma column 0 is never read), P = matrix1 with
// each state's 20 x 20 block scaled to sum 1, p(a) = the row sums of matrix2
// scaled to sum 1, lo/hi = min/max(a, b).
//
// Gamma tables are L x 282, row-major (row i-1 = position i, column = state
// 0..281).  Profiles are n x 20, row-major.  mij is n1 x n2, row-major:
// mij[(i-1)*n2 + (j-1)].
//
// Two layers:
//  * makemij / makedrctmij keep the classic contract: on every call they add
//    1e-9 to every entry of both gamma tables and rescale the frequency
//    tables in place, then fill mij.
//  * ScoringTables + score_sequences / score_profiles are the thread-safe
//    core the programs use: the tables are prepared once (the rescaling is
//    idempotent up to rounding) and are read-only afterwards; the gamma
//    tables are read-only and are scored as if 1e-9 had been added to every
//    entry (pass `gamma_offset` = the total already added by earlier calls,
//    normally 0, to score what the k-th classic call would see, up to the
//    rounding of one addition against k).
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "scoring/frequencies.hpp"
#include "scoring/stategroups.hpp"

namespace xk {

namespace detail {
struct ColumnForm;  // scoring/pairscores.hpp
}

// Frequency tables after the rescaling steps; read-only, safe to share
// between threads.
struct ScoringTables {
  std::vector<float> pair;        // matrix1 rescaled, same layout as matrix1
  std::vector<float> expected;    // matrix2 rescaled
  std::array<float, 20> background{};  // p(a)
  // Derived by prepare_tables for the fast scorer (a table built by hand may
  // leave them empty: they are then derived on every call):
  std::vector<float> pair_by_state;  // 210 x 281: P(lo, hi, s) for lo <= hi,
                                     // pairs lo-major, then states 1..281
  std::vector<float> pair_log_base;  // 210: log2(f p(lo) p(hi)), same order
  StateGroups state_groups;          // states with equal blocks (none when too many)
  // Optional (the accurate mode's): every score is taken less `null_share`
  // times the same score under `null_tables`, the independence null of these
  // tables.  0, the default, scores as defined.
  float null_share = 0.0f;
  std::shared_ptr<const ScoringTables> null_tables;
};

// Rescales `tables` in place (each matrix1 state block to sum 1 when its sum
// is positive; matrix2 to sum 1, with no test on its sum) and returns the
// prepared copy with p(a) = the sums over states of the rescaled matrix2.
ScoringTables prepare_tables(FrequencyTables& tables);

// The independence null of the structure states: every state's pair block
// P(lo, hi, s) replaced by f m_s(lo) m_s(hi) (f = 1 when lo = hi, else 2),
// m_s the residue frequencies of the block (a pair lo < hi counts half to
// each of its residues), scaled to the block's total (pairs lo <= hi; 1 in
// a prepared table); background and state groups as in t.  Only the
// scorer's tables are filled (pair_by_state, pair_log_base, state_groups,
// background); pair and expected stay empty.  A score under it is that of
// two residues drawn apart from the states' own composition: it keeps what
// agreeing local structure alone earns.
ScoringTables independence_null(const ScoringTables& t);

// Makes every score of t the score less `share` times its independence null
// (share 0 turns this off).
void subtract_independence_null(ScoringTables& t, float share);

// Both fill all n1 x n2 entries of mij (entries that are not scored are 0).
// They run on the calling thread only, allocate their own working space and
// touch nothing shared but `t` (read-only): safe to call from several
// threads at once.  Scores equal the defining loops up to single-precision
// rounding (the products are summed in another order and the logarithm is a
// fast one; a ratio below the smallest normal float is taken as that value).
//
// Sequences: character i-1 is the residue at position i; only the upper-case
// letters "ACDEFGHIKLMNPQRSTVWY" are scored, every other character scores 0.
void score_sequences(const ScoringTables& t, std::string_view seq1, std::string_view seq2,
                     std::span<const float> gamma1, std::span<const float> gamma2, std::span<float> mij,
                     float gamma_offset = 0.0f);

// A sequence's gamma table (n x 282) reordered once for scoring it against
// many others: score_sequences_ordered then gives score_sequences' table to
// the bit without reordering it for every pair, and needs the gamma table
// only where its ordered form is empty.  Empty when the tables do not
// group their states (the ordered form then goes unused).
std::vector<float> ordered_gamma(const ScoringTables& t, std::span<const float> gamma, int n);
// form1/form2: the sequences' forms (sequence_form) where made.  With
// `by_columns` the same table lies by columns: mij[(j-1)*n1 + (i-1)].
void score_sequences_ordered(const ScoringTables& t, std::string_view seq1, std::string_view seq2,
                             std::span<const float> gamma1, std::span<const float> gamma2,
                             std::span<const float> ordered1, std::span<const float> ordered2, std::span<float> mij,
                             const detail::ColumnForm* form1 = nullptr, const detail::ColumnForm* form2 = nullptr,
                             bool by_columns = false);
// What the scorer makes of a sequence whenever its positions are the
// columns of a product, made once from the sequence and its ordered gamma
// rows (ordered_gamma) for the tables `t`, so that a sequence scored
// against many others is not made ready again for every pair.  Null where
// the ordered rows are empty.  Used only with `t` itself.
std::shared_ptr<const detail::ColumnForm> sequence_form(const ScoringTables& t, std::string_view seq,
                                                        std::span<const float> ordered);

// Profiles: mij(i,j) = sum over a, b with w1(i,a) > 0 and w2(j,b) > 0 of
// w1(i,a) w2(j,b) score(i,j,a,b).
// `threads`: how many threads may share the work (the table is the same
// for any number).
void score_profiles(const ScoringTables& t, int n1, int n2, std::span<const float> w1,
                    std::span<const float> w2, std::span<const float> gamma1, std::span<const float> gamma2,
                    std::span<float> mij, float gamma_offset = 0.0f, unsigned threads = 1);

// The classic routines (see above for their in-place effects).  n1, n2 from
// 0; gamma1/gamma2 hold at least n1/n2 rows; a sequence text shorter than n
// scores its missing positions 0.  The profile weights w1 (n1 x 20) and w2
// (n2 x 20) count where they are > 0.
void makemij(int n1, int n2, std::string_view seq1, std::string_view seq2, std::span<float> gamma1,
             std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij);
void makedrctmij(int n1, int n2, std::span<const float> w1, std::span<const float> w2, std::span<float> gamma1,
                 std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij, unsigned threads = 1);

// makedrctmij in two steps, so that many second inputs can be scored
// against one first input side by side, each with the very scores of the
// calls made in turn.  stage_drctmij makes one call's changes to what the
// calls share, in the calls' order: the floor added to gamma1, the tables
// rescaled; it returns the rescaled tables.  score_staged_drctmij, on any
// thread, adds the floor to gamma2 and fills mij from gamma1 as it stood
// after that stage.  makedrctmij is the two in turn.  With `by_columns`
// the same table lies by columns: mij[(j-1)*n1 + (i-1)].
ScoringTables stage_drctmij(int n1, std::span<float> gamma1, FrequencyTables& tables);
void score_staged_drctmij(const ScoringTables& t, int n1, int n2, std::span<const float> w1, std::span<const float> w2,
                          std::span<const float> gamma1, std::span<float> gamma2, std::span<float> mij,
                          unsigned threads = 1, bool by_columns = false);

// Reference versions: the defining loops, in their order, single precision.
// Same contracts as makemij / makedrctmij.  For tests and benchmarks only.
namespace reference {
void makemij(int n1, int n2, std::string_view seq1, std::string_view seq2, std::span<float> gamma1,
             std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij);
void makedrctmij(int n1, int n2, std::span<const float> w1, std::span<const float> w2, std::span<float> gamma1,
                 std::span<float> gamma2, FrequencyTables& tables, std::span<float> mij);
}  // namespace reference

}  // namespace xk
