// The local aligner with its six full tables, as defined: kept to hold the
// two-column aligner to.
#include <cassert>
#include <vector>

#include "common/table.hpp"
#include "scoring/dp.hpp"
#include "scoring/dp_traceback.hpp"

namespace xk::reference {

DpResult dp(int n1, int n2, float go, float ge, std::span<const float> S) {
  assert(n1 >= 0 && n2 >= 0);
  const std::size_t h = static_cast<std::size_t>(n1) + 1, w = static_cast<std::size_t>(n2) + 1;
  assert(S.size() >= static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2));
  const std::size_t cells = h * w;
  std::vector<float> M = make_table(cells, "match score matrix", 0.0f);
  std::vector<char> LM = make_table(cells, "match letter matrix", ' ');
  std::vector<float> I = make_table(cells, "insertion score matrix", 0.0f);
  std::vector<char> LI = make_table(cells, "insertion letter matrix", ' ');
  std::vector<float> D = make_table(cells, "deletion score matrix", 0.0f);
  std::vector<char> LD = make_table(cells, "deletion letter matrix", ' ');
  auto at = [w](int i, int j) { return static_cast<std::size_t>(i) * w + static_cast<std::size_t>(j); };

  const float floor = -2147483648.0f;
  for (int i = 1; i <= n1; ++i) I[at(i, 0)] = D[at(i, 0)] = floor;
  for (int j = 1; j <= n2; ++j) I[at(0, j)] = D[at(0, j)] = floor;

  for (int j = 1; j <= n2; ++j)
    for (int i = 1; i <= n1; ++i) {
      const float A = S[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n2) + static_cast<std::size_t>(j - 1)];
      const float mm = M[at(i - 1, j - 1)] + A, im = I[at(i - 1, j - 1)] + A, dm = D[at(i - 1, j - 1)] + A;
      float v = mm;
      if (im > v) v = im;
      if (dm > v) v = dm;
      if (0.0f > v) v = 0.0f;
      M[at(i, j)] = v;
      LM[at(i, j)] = v == mm ? 'M' : v == im ? 'I' : v == dm ? 'D' : 'E';

      const float io = M[at(i - 1, j)] - go, ie = I[at(i - 1, j)] - ge;
      I[at(i, j)] = io >= ie ? io : ie;
      LI[at(i, j)] = I[at(i, j)] == io ? 'M' : 'I';

      const float dd = M[at(i, j - 1)] - go, di = I[at(i, j - 1)] - go, de = D[at(i, j - 1)] - ge;
      float u = dd;
      if (di > u) u = di;
      if (de > u) u = de;
      D[at(i, j)] = u;
      LD[at(i, j)] = u == dd ? 'M' : u == di ? 'I' : 'D';
    }

  // The largest value of each table and its first cell, column by column.
  auto search = [&](const std::vector<float>& T) {
    dp_detail::Best b{T[at(0, 0)], 0, 0};
    for (int j = 0; j <= n2; ++j)
      for (int i = 0; i <= n1; ++i)
        if (T[at(i, j)] > b.value) b = {T[at(i, j)], i, j};
    return b;
  };
  const dp_detail::Best bm = search(M), bi = search(I), bd = search(D);
  auto letter = [&](char state, int i, int j) -> char {
    switch (state) {
      case 'M': return LM[at(i, j)];
      case 'I': return LI[at(i, j)];
      case 'D': return LD[at(i, j)];
      default: return ' ';
    }
  };
  return dp_detail::trace(n1, n2, bm, bi, bd, letter);
}

}  // namespace xk::reference
