// The aligner with fixed ends and its six full tables, as defined: kept to
// hold the two-column aligner to.
#include <cassert>
#include <new>
#include <vector>

#include "common/ending.hpp"
#include "scoring/dp_ends.hpp"
#include "scoring/dp_ends_traceback.hpp"

namespace xk::reference {

namespace {

template <class T>
std::vector<T> table(std::size_t cells, T fill, const char* message) {
  try {
    return std::vector<T>(cells, fill);
  } catch (const std::bad_alloc&) {
    throw FatalStop(message);
  }
}

}  // namespace

DpResult dp_ends(int n1, int n2, float go, float ge, std::span<const float> S, FreeEnds ends) {
  using namespace dp_ends_detail;
  assert(n1 >= 0 && n2 >= 0);
  assert(S.size() >= static_cast<std::size_t>(n1) * static_cast<std::size_t>(n2));
  const std::size_t h = static_cast<std::size_t>(n1) + 1, w = static_cast<std::size_t>(n2) + 1;
  const std::size_t cells = h * w;
  std::vector<float> M = table(cells, kNone, "ERROR: Allocating match score matrix!!!");
  std::vector<char> LM = table(cells, ' ', "ERROR: Allocating match letter matrix!!!");
  std::vector<float> I = table(cells, kNone, "ERROR: Allocating insertion score matrix!!!");
  std::vector<char> LI = table(cells, ' ', "ERROR: Allocating insertion letter matrix!!!");
  std::vector<float> D = table(cells, kNone, "ERROR: Allocating deletion score matrix!!!");
  std::vector<char> LD = table(cells, ' ', "ERROR: Allocating deletion letter matrix!!!");
  auto at = [w](int i, int j) { return static_cast<std::size_t>(i) * w + static_cast<std::size_t>(j); };

  for (int i = 0; i <= n1; ++i) {
    M[at(i, 0)] = border_m(i, ends.first_start);
    I[at(i, 0)] = border_gap(i, ends.first_start, go, ge);
    LI[at(i, 0)] = border_letter(i, 'I');
  }
  for (int j = 1; j <= n2; ++j) {
    M[at(0, j)] = border_m(j, ends.second_start);
    D[at(0, j)] = border_gap(j, ends.second_start, go, ge);
    LD[at(0, j)] = border_letter(j, 'D');
  }

  for (int j = 1; j <= n2; ++j)
    for (int i = 1; i <= n1; ++i) {
      const float A = S[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(n2) + static_cast<std::size_t>(j - 1)];
      const float mm = M[at(i - 1, j - 1)] + A, im = I[at(i - 1, j - 1)] + A, dm = D[at(i - 1, j - 1)] + A;
      float v = mm;
      if (im > v) v = im;
      if (dm > v) v = dm;
      M[at(i, j)] = v;
      LM[at(i, j)] = v == mm ? 'M' : v == im ? 'I' : 'D';

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

  // The largest value of each table among the cells that may end the
  // alignment, column by column.
  Tracker tm, ti, td;
  for (int j = 0; j <= n2; ++j)
    for (int i = 0; i <= n1; ++i)
      if (may_end(i, j, n1, n2, ends)) {
        tm.offer(M[at(i, j)], i, j);
        ti.offer(I[at(i, j)], i, j);
        td.offer(D[at(i, j)], i, j);
      }
  auto letter = [&](char state, int i, int j) -> char {
    switch (state) {
      case 'M': return LM[at(i, j)];
      case 'I': return LI[at(i, j)];
      case 'D': return LD[at(i, j)];
      default: return ' ';
    }
  };
  return dp_ends_detail::trace(n1, n2, tm.best, ti.best, td.best, letter);
}

}  // namespace xk::reference
