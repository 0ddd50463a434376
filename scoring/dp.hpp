// Local alignment of two inputs with affine gaps (match M, insertion I = a
// position of the first input against a gap, deletion D = a position of the
// second input against a gap; zero floor on M only).
#pragma once

#include <span>
#include <string>

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
// extension penalties (the callers pass 21.0 and 0.4).
DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S);

namespace reference {
// Full-table version kept for tests: six (n1+1) x (n2+1) tables.
DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S);
}  // namespace reference

}  // namespace xk
