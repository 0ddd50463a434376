// Alignment of two inputs with affine gaps in which chosen ends of the inputs
// must be aligned: the states, scores, gap rules and tie rules of the local
// aligner (dp.hpp), without the zero floor, with a start and an end fixed by
// which leading and trailing stretches may be left out at no cost.
//
//   ParentEnds: the second input (a sequence) end to end, every position in
//     the alignment; the first input (the parent) free at both ends, so its
//     leading and trailing positions outside the alignment cost nothing.
//   EndGapFree: free end gaps at both ends of both inputs: the alignment
//     starts on the first row or column and ends on the last row or column
//     (an overhang of one input at each end costs nothing).
#pragma once

#include <span>

#include "common/vector_path.hpp"

#include "scoring/dp.hpp"

namespace xk {

// Which stretches may be left out at no cost: the leading or trailing
// positions of the first input (rows i) and of the second input (columns j).
struct FreeEnds {
  bool first_start = false;
  bool first_end = false;
  bool second_start = false;
  bool second_end = false;
};

inline constexpr FreeEnds kParentEnds{true, true, false, false};
inline constexpr FreeEnds kEndGapFree{true, true, true, true};

// S is n1 x n2, row-major: S[(i-1)*n2 + (j-1)] scores position i of the
// first input against position j of the second; go/ge are the gap opening
// and extension penalties (a run of g gap positions costs go + (g-1) ge).
//
// Recurrences of the local aligner without the floor: M from M, I, D; I
// (first input against a gap) from M or I; D (second input against a gap)
// from M, I or D; ties to M, then I, then D.  The start is M at (0, 0), and
// M at (i, 0) with score 0 when the first input may start late, M at (0, j)
// when the second may; otherwise the leading positions stand against a gap
// (I at (i, 0), D at (0, j)).  The end cell is searched among the cells
// allowed by the trailing freedoms (last row and column as permitted),
// column by column, smallest row first: the first cell holding the best of
// M, replaced by I's and then D's when they hold the same best.
//
// The result follows dp's form:
//   path: n1 + n2 + 1 characters, the states of the alignment's cells from
//     its end backwards, then "M" for the start; blanks after that.
//   n1 - 1, n2 - 1: the first position of each input that the alignment
//     uses (for an input whose first cell is a gap of it: the position after
//     the last one left out, so that readers advancing from n - 1 on each of
//     its residues stay in step).
//   score: the best score truncated toward zero (it may be negative).
// With nothing aligned (an empty input, or the best end at the start) the
// path is "M" and blanks.
//
// Memory: one byte of letters per cell plus a few columns; pure, safe to
// call from several threads.  Throws FatalStop as dp does when the tables do
// not fit.
// The fill's vector path is the widest this processor runs unless one is
// asked for (every path gives the same result).
DpResult dp_ends(int n1, int n2, float go, float ge, std::span<const float> S, FreeEnds ends,
                 VectorPath path = best_vector_path());

namespace reference {
// The six (n1+1) x (n2+1) tables as defined; kept to hold dp_ends to.
DpResult dp_ends(int n1, int n2, float go, float ge, std::span<const float> S, FreeEnds ends);
}  // namespace reference

}  // namespace xk
