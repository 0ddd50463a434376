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

}  // namespace xk
