// The one matrix product the scorer needs, in front of the linear-algebra
// library: single precision, row-major, no threads of its own (callers that
// want threads run several products side by side).
#pragma once

#include "common/vector_path.hpp"

namespace xk {

// C = A * B^T: A is m x k (row stride lda), B is n x k (row stride ldb), C is
// m x n (row stride ldc); every matrix row-major.  C is overwritten.  Any of
// m, n, k may be 0 (k = 0 gives C = 0).
// The widest vector path this processor runs does the work.
void gemm_abt(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);

// The same on a chosen path (lowered to what the processor runs), for tests
// and benchmarks that hold the paths to each other.  The paths may differ
// in the last bits: the wider ones fuse multiply and add and split the sums
// differently.
void gemm_abt(VectorPath path, int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c,
              int ldc);

// C = A * B with B k x n (row stride ldb), row-major: gemm_abt with B's
// transpose given, to the bit (the path the library takes for the product
// is the same, only B's packing reads it in another order; an operand laid
// out so packs faster).  On the widest path, as gemm_abt.
void gemm_ab(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
void gemm_ab(VectorPath path, int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c,
             int ldc);

}  // namespace xk
