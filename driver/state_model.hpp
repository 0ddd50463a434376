// The state model of the assembled alignment: the parent sequence, the
// transition probabilities between match (M), deletion (D) and insertion (L)
// states, and the emission probabilities of every state position.
//
// Rows are the sequences' rows of the assembled alignment (all the same
// length).  Character classes are those of `alphabet`: the 20 residue
// letters make match and state columns; "B", "Z", "X", ".", "-", "~", "*"
// count as gaps here (they emit none of the 20 letters); a character outside
// the alphabet ends a row.
#pragma once

#include <array>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace xk {

// The parent sequence (from 1): the one whose pairwise scores add up to the
// most.  aliscore: n x n row-major, aliscore[(i-1)*n + (j-1)], filled above
// the diagonal.  A sequence's total is the sum of its row and of its column;
// the running best starts at 0 and is kept as an integer (truncated); a
// total >= the best so far selects the sequence, so equal totals go to the
// later one.  If no total reaches 0 (not possible with local alignment
// scores), the largest total wins, ties again to the later sequence.
int select_parent(int n, std::span<const float> aliscore);

enum class State : int { M = 0, D = 1, L = 2 };

struct StateModel {
  int nstates = 0;  // residue letters in the selected row
  // 3 x 3 x (nstates + 1), indexed (to, from, position 1..nstates+1); see at().
  std::vector<float> hmm;
  // nstates x 20, row k-1 = state position k, columns "ACDEFGHIKLMNPQRSTVWY".
  std::vector<float> emit;

  float& at(State to, State from, int k) {
    return hmm[index(to, from, k)];
  }
  float at(State to, State from, int k) const { return hmm[index(to, from, k)]; }

 private:
  std::size_t index(State to, State from, int k) const {
    return (static_cast<std::size_t>(to) * 3 + static_cast<std::size_t>(from)) *
               static_cast<std::size_t>(nstates + 1) +
           static_cast<std::size_t>(k - 1);
  }
};

// Counts and normalises.  rows: the n sequences' rows; selected: index
// (from 1) of the parent sequence.  For every other row, the columns from
// the selected row's first residue on are classified as match (both
// residues), deletion (row gap, selected residue), insertion (row residue,
// selected gap) or nothing (both gaps); the transitions are counted per
// state position (position 1 from M = the start of a row, position
// nstates + 1 into M = its end; insertions count at the position they
// follow) and normalised so that each group of transitions leaving one state
// sums to 1 (unused groups stay 0).  Emission row k: the frequencies of the
// 20 letters among all rows in the k-th state column (sums to 1).
// With nstates = 0 nothing is counted.
StateModel build_state_model(std::span<const std::string> rows, int selected);

// The report: " M state:", the three lines of HMM(M, from, 1..nstates+1) for
// from = M, D, L, an empty line; the same for " D state:" and " L state:";
// " Emission probabilities:" and one line of 20 values per state position.
// Every value "(F5.2)", no separator.
void write_state_model(std::ostream& out, const StateModel& model);

// The whole phase: selects the parent sequence, writes to `console`
// " ID has been selected as the parent sequence", an empty line,
// " ...define N states" and an empty line, and writes the report to `out`.
// ids: seqID entries (trailing blanks are dropped in the console line).
StateModel run_state_model_phase(std::ostream& console, std::ostream& out, std::span<const std::string> ids,
                                 std::span<const float> aliscore, std::span<const std::string> rows);

}  // namespace xk
