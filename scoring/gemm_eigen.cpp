// The matrix product through Eigen, built once per vector path (see
// scoring/CMakeLists.txt): XK_GEMM_VARIANT names the path, and the entry
// is xk::detail::gemm_abt_<path>.
//
// Every build of this file instantiates the same Eigen templates with
// different instruction sets.  Were they left under one name, the linker
// would keep one copy for all builds and a plain caller could land in
// AVX-512 code, so each build renames the library's namespace to one of its
// own.
#include <cassert>

#ifndef XK_GEMM_VARIANT
#error "XK_GEMM_VARIANT (plain, avx2 or avx512) must be defined"
#endif
#define XK_GEMM_JOIN2(a, b) a##b
#define XK_GEMM_JOIN(a, b) XK_GEMM_JOIN2(a, b)
#define Eigen XK_GEMM_JOIN(xk_eigen_, XK_GEMM_VARIANT)

// The library's product runs on the calling thread only.
#define EIGEN_DONT_PARALLELIZE
#include <Eigen/Core>

namespace xk::detail {

namespace {
using RowMajor = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
using Stride = Eigen::OuterStride<>;
}  // namespace

void XK_GEMM_JOIN(gemm_abt_, XK_GEMM_VARIANT)(int m, int n, int k, const float* a, int lda, const float* b, int ldb,
                                              float* c, int ldc) {
  assert(m >= 0 && n >= 0 && k >= 0);
  assert(lda >= k && ldb >= k && ldc >= n);
  if (m == 0 || n == 0) return;
  Eigen::Map<RowMajor, Eigen::Unaligned, Stride> cm(c, m, n, Stride(ldc));
  if (k == 0) {
    cm.setZero();
    return;
  }
  Eigen::Map<const RowMajor, Eigen::Unaligned, Stride> am(a, m, k, Stride(lda));
  Eigen::Map<const RowMajor, Eigen::Unaligned, Stride> bm(b, n, k, Stride(ldb));
  cm.noalias() = am * bm.transpose();
}

void XK_GEMM_JOIN(gemm_ab_, XK_GEMM_VARIANT)(int m, int n, int k, const float* a, int lda, const float* b, int ldb,
                                             float* c, int ldc) {
  assert(m >= 0 && n >= 0 && k >= 0);
  assert(lda >= k && ldb >= n && ldc >= n);
  if (m == 0 || n == 0) return;
  // The library sums a small product entry by entry and a product with one
  // row or one column as matrix-vector products, and there the order of the
  // sums follows the operands' layout: those take B's transpose row by row,
  // as gemm_abt does.  Every other product is the blocked one, whose sums do
  // not depend on the layout (its packing lays both alike).
  Eigen::Map<const RowMajor, Eigen::Unaligned, Stride> bm(b, k, n, Stride(ldb));
  if (k == 0 || m == 1 || n == 1 || m + n + k < 20) {
    const RowMajor bt = bm.transpose();
    XK_GEMM_JOIN(gemm_abt_, XK_GEMM_VARIANT)(m, n, k, a, lda, bt.data(), k, c, ldc);
    return;
  }
  Eigen::Map<RowMajor, Eigen::Unaligned, Stride> cm(c, m, n, Stride(ldc));
  Eigen::Map<const RowMajor, Eigen::Unaligned, Stride> am(a, m, k, Stride(lda));
  cm.noalias() = am * bm;
}

}  // namespace xk::detail
