// A base-2 logarithm that the compiler can vectorise: a branch-free
// polynomial on the mantissa, accurate to a few units in the last place of a
// single-precision result (absolute error below 2e-7 for the ratios the
// scores take).
#pragma once

#include <bit>
#include <cstdint>
#include <limits>

namespace xk {

// log2(x) for x > 0.  A value below the smallest normal float (including 0)
// is taken as that value, so the result is never below -126; the result is
// finite for every input (infinity gives 128, not-a-number an arbitrary
// finite value).  The loop vectoriser takes it when floating-point traps are
// not modelled (-fno-trapping-math).
inline float fast_log2(float x) {
  constexpr float kMinNormal = std::numeric_limits<float>::min();
  x = x < kMinNormal ? kMinNormal : x;
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(x);
  std::int32_t e = static_cast<std::int32_t>(bits >> 23) - 127;
  // Mantissa in [1, 2), then folded into [sqrt(1/2), sqrt(2)).
  float m = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
  const bool high = m > 1.41421356f;
  const float half = m * 0.5f;
  m = high ? half : m;
  e = high ? e + 1 : e;
  // ln(1 + f) = f - f^2/2 + f^3 P(f), |f| < 0.4143 (minimax coefficients).
  const float f = m - 1.0f;
  const float z = f * f;
  float p = 7.0376836292e-2f;
  p = p * f - 1.1514610310e-1f;
  p = p * f + 1.1676998740e-1f;
  p = p * f - 1.2420140846e-1f;
  p = p * f + 1.4249322787e-1f;
  p = p * f - 1.6668057665e-1f;
  p = p * f + 2.0000714765e-1f;
  p = p * f - 2.4999993993e-1f;
  p = p * f + 3.3333331174e-1f;
  const float ln = f + (p * f * z - 0.5f * z);
  return ln * 1.44269504088896341f + static_cast<float>(e);
}

// Vectors of a path's register width (16, 32 or 64 bytes), for kernels
// written lane by lane instead of left to the loop vectoriser: the kernel
// keeps its working rows in registers and interleaves independent chains.
template <int Bytes>
struct FloatVec {
  typedef float F __attribute__((vector_size(Bytes)));
  typedef std::int32_t I __attribute__((vector_size(Bytes)));
  typedef std::uint32_t U __attribute__((vector_size(Bytes)));
  static constexpr int kLanes = Bytes / 4;
};

// fast_log2 of every lane of the N vectors x, in place.  The same
// operations in the same order as the scalar form, so that on one vector
// path every lane equals fast_log2 of its value bit for bit when both are
// built without floating-point trap semantics, as the kernels are (the
// compiler then fuses the same multiplies and adds in both).  Each step is
// taken on all N vectors before the next, so that N independent chains
// interleave.
template <int Bytes, int N>
[[gnu::always_inline]] inline void fast_log2_lanes(typename FloatVec<Bytes>::F (&x)[N]) {
  using V = typename FloatVec<Bytes>::F;
  using VI = typename FloatVec<Bytes>::I;
  using VU = typename FloatVec<Bytes>::U;
  constexpr float kMinNormal = std::numeric_limits<float>::min();
  constexpr float kPoly[] = {7.0376836292e-2f, -1.1514610310e-1f, 1.1676998740e-1f, -1.2420140846e-1f,
                             1.4249322787e-1f, -1.6668057665e-1f, 2.0000714765e-1f, -2.4999993993e-1f,
                             3.3333331174e-1f};
  const V min_normal = V{} + kMinNormal;
  VI e[N];
  V f[N], z[N], p[N];
#pragma GCC unroll 16
  for (int k = 0; k < N; ++k) {
    x[k] = x[k] < kMinNormal ? min_normal : x[k];
    const VU bits = __builtin_bit_cast(VU, x[k]);
    e[k] = __builtin_convertvector(bits >> 23, VI) - 127;
    f[k] = __builtin_bit_cast(V, (bits & 0x007FFFFFu) | 0x3F800000u);
  }
#pragma GCC unroll 16
  for (int k = 0; k < N; ++k) {
    const VI high = f[k] > 1.41421356f;
    const V half = f[k] * 0.5f;
    f[k] = high ? half : f[k];
    e[k] = high ? e[k] + 1 : e[k];
    f[k] = f[k] - 1.0f;
    z[k] = f[k] * f[k];
    p[k] = V{} + kPoly[0];
  }
#pragma GCC unroll 8
  for (int c = 1; c < 9; ++c)
#pragma GCC unroll 16
    for (int k = 0; k < N; ++k) p[k] = p[k] * f[k] + kPoly[c];
#pragma GCC unroll 16
  for (int k = 0; k < N; ++k) {
    const V ln = f[k] + (p[k] * f[k] * z[k] - 0.5f * z[k]);
    x[k] = ln * 1.44269504088896341f + __builtin_convertvector(e[k], V);
  }
}

}  // namespace xk
