#include "scoring/gemm.hpp"

#include <cassert>

// The library's product runs on the calling thread only.
#define EIGEN_DONT_PARALLELIZE
#include <Eigen/Core>

namespace xk {

void gemm_abt(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc) {
  assert(m >= 0 && n >= 0 && k >= 0);
  assert(lda >= k && ldb >= k && ldc >= n);
  if (m == 0 || n == 0) return;
  using RowMajor = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  using Stride = Eigen::OuterStride<>;
  Eigen::Map<RowMajor, Eigen::Unaligned, Stride> cm(c, m, n, Stride(ldc));
  if (k == 0) {
    cm.setZero();
    return;
  }
  Eigen::Map<const RowMajor, Eigen::Unaligned, Stride> am(a, m, k, Stride(lda));
  Eigen::Map<const RowMajor, Eigen::Unaligned, Stride> bm(b, n, k, Stride(ldb));
  cm.noalias() = am * bm.transpose();
}

}  // namespace xk
