#include "scoring/gemm.hpp"

namespace xk {

namespace detail {
// One build of the product per vector path (scoring/gemm_eigen.cpp).
void gemm_abt_plain(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
void gemm_abt_avx2(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
void gemm_abt_avx512(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
void gemm_ab_plain(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
void gemm_ab_avx2(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
void gemm_ab_avx512(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc);
}  // namespace detail

void gemm_abt(VectorPath path, int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c,
              int ldc) {
  kernel_for(path, detail::gemm_abt_plain, detail::gemm_abt_avx2, detail::gemm_abt_avx512)(m, n, k, a, lda, b, ldb, c,
                                                                                           ldc);
}

void gemm_abt(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc) {
  gemm_abt(best_vector_path(), m, n, k, a, lda, b, ldb, c, ldc);
}

void gemm_ab(VectorPath path, int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c,
             int ldc) {
  kernel_for(path, detail::gemm_ab_plain, detail::gemm_ab_avx2, detail::gemm_ab_avx512)(m, n, k, a, lda, b, ldb, c,
                                                                                        ldc);
}

void gemm_ab(int m, int n, int k, const float* a, int lda, const float* b, int ldb, float* c, int ldc) {
  gemm_ab(best_vector_path(), m, n, k, a, lda, b, ldb, c, ldc);
}

}  // namespace xk
