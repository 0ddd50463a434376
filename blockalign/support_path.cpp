#include "blockalign/support_path.hpp"

#include <algorithm>
#include <cassert>

#include "common/table.hpp"

namespace xk {

MatchPath best_supported_path(int len1, int len2, std::span<const float> match) {
  assert(len1 >= 0 && len2 >= 0);
  const auto n1 = static_cast<std::size_t>(len1), n2 = static_cast<std::size_t>(len2);
  assert(match.size() >= n1 * n2);
  // best[i][j]: the best sum over positions 1..i and 1..j; one extra row and
  // column of zeros.
  const std::size_t w = n2 + 1;
  std::vector<double> best = make_table<double>((n1 + 1) * w, "support path");
  for (std::size_t i = 1; i <= n1; ++i) {
    for (std::size_t j = 1; j <= n2; ++j) {
      const float m = match[(i - 1) * n2 + (j - 1)];
      double b = std::max(best[(i - 1) * w + j], best[i * w + j - 1]);
      if (m > 0.0f) b = std::max(b, best[(i - 1) * w + j - 1] + m);
      best[i * w + j] = b;
    }
  }
  MatchPath path;
  std::size_t i = n1, j = n2;
  while (i > 0 && j > 0) {
    const double here = best[i * w + j];
    const float m = match[(i - 1) * n2 + (j - 1)];
    if (m > 0.0f && here == best[(i - 1) * w + j - 1] + m) {
      path.emplace_back(static_cast<int>(i), static_cast<int>(j));
      --i;
      --j;
    } else if (here == best[(i - 1) * w + j]) {
      --i;
    } else {
      --j;
    }
  }
  std::reverse(path.begin(), path.end());
  return path;
}

}  // namespace xk
