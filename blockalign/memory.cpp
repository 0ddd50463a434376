#include "blockalign/memory.hpp"

#include <algorithm>

#include "blockalign/frame.hpp"
#include "profile/record.hpp"
#include "readers/gamma.hpp"

namespace xk {

std::uint64_t baa_peak_bytes(int len1, int len2) {
  const std::uint64_t n1 = static_cast<std::uint64_t>(std::max(len1, 0));
  const std::uint64_t n2 = static_cast<std::uint64_t>(std::max(len2, 0));
  const std::uint64_t layers = static_cast<std::uint64_t>(block_limit(len1, len2)) + 1;
  const std::uint64_t pairs = n1 * n2;
  const std::uint64_t sums = 3 * (n1 + 1) * (n2 + 1) * layers * sizeof(double);
  const std::uint64_t per_pair = sizeof(float) + sizeof(double) + sizeof(float);  // scores, weights, matches
  const std::uint64_t inputs = (n1 + n2) * (static_cast<std::uint64_t>(kStates) + kProfileWidth) * sizeof(float);
  const std::uint64_t merged = std::max(n1, n2) * kProfileWidth * sizeof(double);
  return sums + pairs * per_pair + inputs + merged;
}

}  // namespace xk
