// The vector instruction sets a kernel may use, chosen at run time: one
// binary runs on any x86-64 processor and takes the wider registers where
// the processor has them.
//
//   plain   the x86-64 baseline (SSE2)
//   avx2    AVX2 with FMA, BMI1/2, F16C, LZCNT and MOVBE (x86-64-v3)
//   avx512  AVX-512 F, BW, CD, DQ and VL on top of avx2 (x86-64-v4)
//
// Paths are ordered: each one runs wherever a later one does.  A kernel
// that has fewer paths takes the widest of its own that is not above the
// one asked for.
#pragma once

// The instruction sets of the wider paths, as the attribute a kernel's
// build for that path carries (kernels built once per path; the plain
// build carries none).
#define XK_TARGET_AVX2 [[gnu::target("arch=x86-64-v3")]]
#define XK_TARGET_AVX512 [[gnu::target("arch=x86-64-v4")]]

#include <span>
#include <string_view>

namespace xk {

enum class VectorPath { plain = 0, avx2 = 1, avx512 = 2 };

// The widest path this processor runs.
VectorPath best_vector_path();

// `wanted`, lowered to what this processor runs: asking for a path the
// processor lacks gives the best one it has.
VectorPath usable_vector_path(VectorPath wanted);

// Every path this processor runs, plain first (for tests and benchmarks
// that hold the paths to each other).
std::span<const VectorPath> usable_vector_paths();

// "plain", "avx2" or "avx512".
std::string_view vector_path_name(VectorPath path);

// Of a kernel's three builds, the one for `wanted` lowered to what this
// processor runs.
template <class Kernel>
Kernel kernel_for(VectorPath wanted, Kernel plain, Kernel avx2, Kernel avx512) {
  switch (usable_vector_path(wanted)) {
    case VectorPath::avx512: return avx512;
    case VectorPath::avx2: return avx2;
    case VectorPath::plain: break;
  }
  return plain;
}

}  // namespace xk
