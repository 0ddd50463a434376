// The logarithm's vector form beside its scalar form, built once per vector
// path with the flags of the scoring kernels (tests/CMakeLists.txt), for the
// test that holds the two to each other bit for bit.
#include <cstring>
#include <span>

#include "common/vector_path.hpp"
#include "scoring/fastlog.hpp"

namespace xktest {

#define XK_LOG_LANES(name, target, bytes)                                                       \
  target void name(std::span<const float> in, std::span<float> scalar, std::span<float> lanes) { \
    using V = xk::FloatVec<bytes>::F;                                                            \
    constexpr std::size_t L = xk::FloatVec<bytes>::kLanes, N = 3;                                \
    for (std::size_t i = 0; i + N * L <= in.size(); i += N * L) {                               \
      V x[N];                                                                                    \
      std::memcpy(x, in.data() + i, sizeof x);                                                   \
      xk::fast_log2_lanes<bytes, N>(x);                                                          \
      std::memcpy(lanes.data() + i, x, sizeof x);                                                \
    }                                                                                            \
    for (std::size_t i = 0; i < in.size(); ++i) scalar[i] = xk::fast_log2(in[i]);                \
  }
XK_LOG_LANES(log_lanes_plain, , 16)
XK_LOG_LANES(log_lanes_avx2, XK_TARGET_AVX2, 32)
XK_LOG_LANES(log_lanes_avx512, XK_TARGET_AVX512, 64)
#undef XK_LOG_LANES

}  // namespace xktest
