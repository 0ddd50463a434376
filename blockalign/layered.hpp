// Block-layered alignment sums: for every number of blocks k = 0..maxblock,
// the number of alignments of two position sequences with exactly k blocks
// and the weighted sums the block posterior and the sampler read.
//
// The alignment model: M aligns position i of the first input with position
// j of the second, I leaves position i of the first input unaligned, D leaves
// position j of the second unaligned.  A block is a maximal run of M steps.
// Between blocks (and before the first, after the last) the unaligned
// positions of the first input come before those of the second: I may follow
// M or I, D may follow M, I or D, M may follow anything.  Unaligned positions
// cost nothing.  The weight of an alignment is the product of w(i, j) over
// its aligned pairs, w(i, j) = 2^exponent(i, j).
//
// Entry (i, j, k) of M (I, D) is the sum over the paths that cover positions
// 1..i and 1..j, have opened k blocks and end with an M step on (i, j) (an I
// step on i, a D step on j).  Layer 0 is the leading unaligned region:
// I(i, 0, 0) = 1 and D(i, j, 0) = 1 for j >= 1, everything else 0.  Row 0 and
// column 0 of layers 1..maxblock are 0.
#pragma once

#include <bit>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "blockalign/table.hpp"
#include "common/vector_path.hpp"

namespace xk {

// Number of alignments with exactly k blocks, k = 0..maxblock (element 0 is
// 1).  Exact while the counts stay below 2^53.
std::vector<double> count_alignments(int len1, int len2, int maxblock);

// Pair weights 2^exponent, len1 x len2 row-major like the exponents.  The
// power is taken to single-precision accuracy (it equals 2^x computed in
// single precision up to one rounding) but is kept in double, so that it
// neither overflows nor flushes to zero as a single would.  Exponents are
// clamped to [-kExponentLimit, kExponentLimit] bits (a NaN counts as the
// lower limit): far beyond any score, and it bounds how much one row can
// grow, which the row rescaling of weighted_pass relies on.
inline constexpr float kExponentLimit = 300.0f;
void pair_weights(std::span<const float> exponents, std::span<double> weights);
std::vector<double> pair_weights(std::span<const float> exponents);

// The weighted sums, kept without overflow.
//
// Storage: cell (i, j) of all layers is contiguous, index
// ((i * (len2 + 1)) + j) * (maxblock + 1) + k, i = 0..len1, j = 0..len2.
// Each row i of each layer k carries a power-of-two factor: the true sum
// (the plain sum over paths of the product of weights, which for related
// inputs lies far outside the double range) is
//     stored(i, j, k) * 2^row_exp(i, k),
// and row_exp(i, k) = kZeroRow marks a row that is all 0.  Inside one row
// of one layer the stored entries are the true sums up to one common factor.
// log_z(k) = ln Z(k), Z(k) the true weighted sum of all alignments with k
// blocks (Z(0) = 1); -infinity when Z(k) is 0.
inline constexpr int kZeroRow = -(1 << 28);

struct LayeredSums {
  int len1 = 0;
  int len2 = 0;
  int maxblock = 0;
  DoubleTable M, I, D;
  std::vector<int> row_exp;    // (len1 + 1) x (maxblock + 1)
  std::vector<double> log_z;   // maxblock + 1 values

  std::size_t cell(int i, int j, int k) const {
    return (static_cast<std::size_t>(i) * static_cast<std::size_t>(len2 + 1) + static_cast<std::size_t>(j)) *
               static_cast<std::size_t>(maxblock + 1) +
           static_cast<std::size_t>(k);
  }
  int exponent(int i, int k) const {
    return row_exp[static_cast<std::size_t>(i) * static_cast<std::size_t>(maxblock + 1) + static_cast<std::size_t>(k)];
  }
  // ln of Z(k) / Z(k - 1), k >= 1: the per-layer ratio of the block sums.
  double log_ratio(int k) const { return log_z[k] - log_z[k - 1]; }
};

// 2^e for e <= 0 (the factor that brings a row to a smaller common
// exponent), 0 once it would be below every double: std::ldexp(1.0, e)
// exactly, its bits laid down directly (the sums ask for it at every cell
// they sample, where a call into the maths library shows).
inline double pow2_down(int e) {
  assert(e <= 0);
  if (e >= -1022) return std::bit_cast<double>(static_cast<std::uint64_t>(e + 1023) << 52);  // normal
  if (e >= -1074) return std::bit_cast<double>(std::uint64_t{1} << (e + 1074));             // subnormal
  return 0.0;
}

// The three big tables of the sums, kept between merges: a run then
// allocates (and first touches) them again only when a merge needs larger
// ones.  Their contents carry nothing from one merge to the next.
struct LayeredTables {
  DoubleTable M, I, D;
  // Entries to make new tables with when these are too small (0: what the
  // merge needs): room for later, larger merges.  Only the entries a merge
  // writes take memory; the rest is address space.
  std::size_t reserve = 0;
};

// Builds the weighted sums from the pair weights (len1 x len2, row-major).
// The three tables come from `keep` when it holds tables large enough, and
// are otherwise created here (the kept ones released first; "ERROR:
// Allocating matrixM!!!", then matrixD, then matrixI, on failure).
// maxblock >= 0; maxblock >= 1 needs len1, len2 >= 1.  An interrupt
// (common/interrupt.hpp) is answered with Interrupted between rows.
// The rows are filled on `path` (every path gives the same sums to the bit).
LayeredSums weighted_pass(int len1, int len2, int maxblock, std::span<const double> weights,
                          LayeredTables* keep = nullptr, VectorPath path = best_vector_path());

// The entries of each table for inputs of len1 and len2 positions.
inline std::size_t layered_cells(int len1, int len2, int maxblock) {
  return (static_cast<std::size_t>(len1) + 1) * (static_cast<std::size_t>(len2) + 1) *
         (static_cast<std::size_t>(maxblock) + 1);
}

// Hands the tables of finished sums back to `keep` for the next merge.
void keep_tables(LayeredSums&& sums, LayeredTables& keep);

}  // namespace xk
