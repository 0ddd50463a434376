// Local alignment of two inputs with affine gaps (match M, insertion I = a
// position of the first input against a gap, deletion D = a position of the
// second input against a gap; zero floor on M only).
#pragma once

#include <span>
#include <string>

#include "common/vector_path.hpp"

namespace xk {

struct DpResult {
  // The alignment's first cell (i, j) plus 1: n1 - 1 and n2 - 1 are the
  // first aligned positions (from 1) of the first and second input.
  int n1 = 0;
  int n2 = 0;
  int score = 0;     // the best score truncated toward zero
  std::string path;  // n1 + n2 characters: states from the alignment's end
                     // backwards, then the predecessor's state, then "E"
                     // after a zero-floor start; blanks after that
};

// S is n1 x n2, row-major: S[(i-1)*n2 + (j-1)] scores position i of the
// first input against position j of the second.  go/ge: gap opening and
// extension penalties (the callers pass 21.0 and 0.4).  n1, n2 from 0.
//
// The fill runs column by column (j outer, i inner); ties in M go to M, then
// I, then D, then the zero floor "E"; in I to M; in D to M, then I.  The end
// cell is the first cell (smallest column, then smallest row) holding the
// best of M, then replaced by I's and then D's when they hold the same best;
// with no positive score it is D at (0, 0).  The traceback steps back over
// an "E" onto the alignment's first cell.
//
// Memory: one byte of letters per cell (n1 x n2) plus a few columns; two
// inputs of 9999 positions take about 100 MB.  Pure: safe to call from
// several threads at once.  Throws FatalStop("ERROR: Allocating match letter
// matrix!!!") when the letters do not fit, ("ERROR: Allocating match score
// matrix!!!") when the score columns do not.  The fill's vector path is the
// widest this processor runs unless one is asked for (every path gives the
// same result).
DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S, VectorPath path = best_vector_path());

// The same with S given by columns: St is n2 x n1, row-major, St[(j-1)*n1 +
// (i-1)] = S(i, j).  Saves turning S around; the result is dp's to the
// letter.
DpResult dp_by_columns(int n1, int n2, float go, float ge, std::span<const float> St,
                       VectorPath path = best_vector_path());

namespace reference {
// The six (n1+1) x (n2+1) tables as defined, with their allocation stops in
// their order of creation; kept to hold dp to, same result to the letter.
DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S);
}  // namespace reference

}  // namespace xk
