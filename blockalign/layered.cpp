#include "blockalign/layered.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <limits>

#include "blockalign/table.hpp"
#include "common/interrupt.hpp"

namespace xk {

namespace {

// A row is brought back near 1 when its magnitude leaves [2^-64, 2^65).
// With weights bounded by 2^kExponentLimit a row then stays far inside the
// double range before and after its own update.
constexpr int kRescaleBits = 64;

// The updates of cell (i, j) for layers k = 1..K.  p*: cell (i-1, j-1),
// u*: cell (i-1, j), l*: cell (i, j-1), c*: cell (i, j).  a[k] and b[k]
// bring row i-1 of layer k and of layer k-1 to the common factor of row i
// of layer k.
[[gnu::always_inline]] inline void cell_update(int K, double w, const double* __restrict a, const double* __restrict b,
                        const double* __restrict pm, const double* __restrict pi, const double* __restrict pd,
                        const double* __restrict um, const double* __restrict ui, const double* __restrict lm,
                        const double* __restrict li, const double* __restrict ld, double* __restrict cm,
                        double* __restrict ci, double* __restrict cd) {
  for (int k = 1; k <= K; ++k) {
    cm[k] = w * (a[k] * pm[k] + b[k] * pi[k - 1] + b[k] * pd[k - 1]);
    ci[k] = a[k] * um[k] + a[k] * ui[k];
    cd[k] = lm[k] + li[k] + ld[k];
  }
}

// Row i of layers 1..K from row i-1 (cells from p0) into the row from c0,
// columns 1..len2 (w: the row's pair weights).
[[gnu::always_inline]] inline void fill_row(int K, int len2, const double* __restrict w, const double* a,
                                            const double* b, double* M, double* I, double* D, std::size_t p0,
                                            std::size_t c0) {
  const std::size_t S = static_cast<std::size_t>(K) + 1;
  for (int j = 1; j <= len2; ++j) {
    const std::size_t jc = static_cast<std::size_t>(j) * S, jl = jc - S;
    cell_update(K, w[j - 1], a, b, M + p0 + jl, I + p0 + jl, D + p0 + jl, M + p0 + jc, I + p0 + jc, M + c0 + jl,
                I + c0 + jl, D + c0 + jl, M + c0 + jc, I + c0 + jc, D + c0 + jc);
  }
}

// The row fill on each vector path.  The file is built without contracting
// multiplies and adds, so every path makes the same operations in the same
// order and gives the same sums to the bit.
#define XK_FILL_ROW(name, target)                                                                                \
  target void name(int K, int len2, const double* w, const double* a, const double* b, double* M, double* I,    \
                   double* D, std::size_t p0, std::size_t c0) {                                                 \
    fill_row(K, len2, w, a, b, M, I, D, p0, c0);                                                                \
  }
XK_FILL_ROW(fill_row_plain, )
XK_FILL_ROW(fill_row_avx2, XK_TARGET_AVX2)
XK_FILL_ROW(fill_row_avx512, XK_TARGET_AVX512)
#undef XK_FILL_ROW

using FillRow = decltype(&fill_row_plain);

FillRow fill_row_for(VectorPath path) { return kernel_for(path, fill_row_plain, fill_row_avx2, fill_row_avx512); }

// 2^x for a single-precision x, as a double rounded to single precision in
// its mantissa: x = n + f with n whole and |f| <= 1/2; 2^f from its series
// (to about 1e-16), rounded to single; 2^n exactly from the exponent bits.
inline double pow2_single(float x) {
  float xc = x > -kExponentLimit ? x : -kExponentLimit;  // a NaN takes the lower limit
  xc = xc < kExponentLimit ? xc : kExponentLimit;
  const double xd = xc;
  constexpr double kShifter = 0x1.8p52;  // adding it rounds to a whole number
  const double t = xd + kShifter;
  const double n = t - kShifter;
  const double y = (xd - n) * 0.6931471805599453;
  double p = 1.0 / 6227020800.0;  // 1/13!
  p = p * y + 1.0 / 479001600.0;
  p = p * y + 1.0 / 39916800.0;
  p = p * y + 1.0 / 3628800.0;
  p = p * y + 1.0 / 362880.0;
  p = p * y + 1.0 / 40320.0;
  p = p * y + 1.0 / 5040.0;
  p = p * y + 1.0 / 720.0;
  p = p * y + 1.0 / 120.0;
  p = p * y + 1.0 / 24.0;
  p = p * y + 1.0 / 6.0;
  p = p * y + 0.5;
  p = p * y + 1.0;
  p = p * y + 1.0;
  const float mant = static_cast<float>(p);
  const std::uint64_t bits = (std::bit_cast<std::uint64_t>(t) + 1023u) << 52;
  return static_cast<double>(mant) * std::bit_cast<double>(bits);
}

}  // namespace

void pair_weights(std::span<const float> exponents, std::span<double> weights) {
  const std::size_t n = std::min(exponents.size(), weights.size());
  const float* __restrict x = exponents.data();
  double* __restrict w = weights.data();
  for (std::size_t c = 0; c < n; ++c) w[c] = pow2_single(x[c]);
}

std::vector<double> pair_weights(std::span<const float> exponents) {
  std::vector<double> w(exponents.size());
  pair_weights(exponents, w);
  return w;
}

std::vector<double> count_alignments(int len1, int len2, int maxblock) {
  assert(maxblock >= 0 && (maxblock == 0 || (len1 >= 1 && len2 >= 1)));
  const int K = maxblock;
  const std::size_t S = static_cast<std::size_t>(K) + 1;
  const std::size_t row = (static_cast<std::size_t>(len2) + 1) * S;
  std::vector<double> totalcount = make_table<double>(S, "totalcount");
  totalcount[0] = 1.0;
  if (K == 0) return totalcount;

  // Two rows (i - 1 and i) of the three tables, all layers.
  std::vector<double> m0(row), i0(row), d0(row), m1(row), i1(row), d1(row);
  const std::vector<double> ones(S, 1.0);
  auto set_layer0 = [&](std::vector<double>& ir, std::vector<double>& dr) {
    ir[0] = 1.0;
    for (int j = 1; j <= len2; ++j) dr[static_cast<std::size_t>(j) * S] = 1.0;
  };
  set_layer0(i0, d0);
  for (int i = 1; i <= len1; ++i) {
    std::fill(m1.begin(), m1.end(), 0.0);
    std::fill(i1.begin(), i1.end(), 0.0);
    std::fill(d1.begin(), d1.end(), 0.0);
    set_layer0(i1, d1);
    for (int j = 1; j <= len2; ++j) {
      const std::size_t c = static_cast<std::size_t>(j) * S, l = c - S;
      cell_update(K, 1.0, ones.data(), ones.data(), &m0[l], &i0[l], &d0[l], &m0[c], &i0[c], &m1[l], &i1[l],
                  &d1[l], &m1[c], &i1[c], &d1[c]);
    }
    std::swap(m0, m1);
    std::swap(i0, i1);
    std::swap(d0, d1);
  }
  const std::size_t corner = static_cast<std::size_t>(len2) * S;
  for (int k = 1; k <= K; ++k) totalcount[k] = m0[corner + k] + i0[corner + k] + d0[corner + k];
  return totalcount;
}

namespace {

// The entries of row i (from c0, `row` entries, S layers a cell) that no
// update writes: column 0 (all layers), layer 0 (the leading unaligned
// region: I(i, 0, 0) = 1, D(i, j, 0) = 1 for j >= 1) and, in row 0, layers
// 1..K.
void set_fixed_entries(double* M, double* I, double* D, std::size_t c0, std::size_t row, std::size_t S,
                       bool row0) {
  for (std::size_t k = 0; k < S; ++k) M[c0 + k] = I[c0 + k] = D[c0 + k] = 0.0;
  I[c0] = 1.0;
  for (std::size_t c = c0 + S; c < c0 + row; c += S) {
    M[c] = I[c] = 0.0;
    D[c] = 1.0;
  }
  if (row0) {
    for (std::size_t c = S; c < row; c += S) {
      for (std::size_t k = 1; k < S; ++k) M[c + k] = I[c + k] = D[c + k] = 0.0;
    }
  }
}

// The common factor of row i, layer k = 1..K: the larger of the exponents of
// row i-1 in layers k and k-1 (base[k]); a[k] and b[k] bring those two rows
// to it.
void common_factors(const int* prev_exp, int K, double* a, double* b, int* base) {
  for (int k = 1; k <= K; ++k) {
    const int ea = prev_exp[k], eb = prev_exp[k - 1];
    const int f = std::max(ea, eb);
    a[k] = pow2_down(ea - f);
    b[k] = pow2_down(eb - f);
    base[k] = f;
  }
}

// Brings every layer of a finished row back near 1 where it has left
// [2^-kRescaleBits, 2^(kRescaleBits+1)) and records the row's exponents in
// cur_exp (kZeroRow for a row of zeros).  The last cell of a row bounds every
// entry of the row: D(i, len2) sums M + I over the rest of the row, and all
// entries are non-negative.
void keep_row_in_range(double* M, double* I, double* D, std::size_t c0, std::size_t row, std::size_t last, int K,
                       const int* base, int* cur_exp, std::vector<double>& factor) {
  bool rescale = false;
  for (int k = 1; k <= K; ++k) {
    const double c = M[last + k] + I[last + k] + D[last + k];
    factor[k] = 1.0;
    if (c == 0.0) {
      cur_exp[k] = kZeroRow;
      continue;
    }
    const int e = std::ilogb(c);
    if (e > kRescaleBits || e < -kRescaleBits) {
      factor[k] = std::ldexp(1.0, -e);
      rescale = true;
      cur_exp[k] = base[k] + e;
    } else {
      cur_exp[k] = base[k];
    }
  }
  if (!rescale) return;
  const std::size_t S = static_cast<std::size_t>(K) + 1;
  const double* __restrict fk = factor.data();
  for (std::size_t c = c0; c < c0 + row; c += S) {
    for (int k = 1; k <= K; ++k) {
      M[c + k] *= fk[k];
      I[c + k] *= fk[k];
      D[c + k] *= fk[k];
    }
  }
}

void keep_tables_into(LayeredSums& s, LayeredTables& keep) {
  s.M = std::move(keep.M);
  s.I = std::move(keep.I);
  s.D = std::move(keep.D);
}
}  // namespace

void keep_tables(LayeredSums&& sums, LayeredTables& keep) {
  keep.M = std::move(sums.M);
  keep.I = std::move(sums.I);
  keep.D = std::move(sums.D);
}

namespace {

// The three tables of `cells` entries each: the kept ones when they are
// large enough, else new ones (the kept ones released first).
void take_tables(LayeredSums& s, std::size_t cells, LayeredTables* keep) {
  if (keep != nullptr && keep->M.size() >= cells && keep->I.size() >= cells && keep->D.size() >= cells) {
    keep_tables_into(s, *keep);
    return;
  }
  const std::size_t reserve = keep != nullptr ? keep->reserve : 0;
  if (keep != nullptr) *keep = LayeredTables{};
  if (reserve > cells) {
    try {
      s.M = DoubleTable(reserve, "matrixM");
      s.D = DoubleTable(reserve, "matrixD");
      s.I = DoubleTable(reserve, "matrixI");
      return;
    } catch (const FatalStop&) {
      // The system refuses the room: the merge's own size below.
      s.M = DoubleTable{};
      s.D = DoubleTable{};
      s.I = DoubleTable{};
    }
  }
  s.M = DoubleTable(cells, "matrixM");
  s.D = DoubleTable(cells, "matrixD");
  s.I = DoubleTable(cells, "matrixI");
}

}  // namespace

LayeredSums weighted_pass(int len1, int len2, int maxblock, std::span<const double> weights, LayeredTables* keep,
                          VectorPath path) {
  const FillRow fill_row_path = fill_row_for(path);
  assert(maxblock >= 0 && (maxblock == 0 || (len1 >= 1 && len2 >= 1)));
  assert(weights.size() >= static_cast<std::size_t>(len1) * static_cast<std::size_t>(len2));
  LayeredSums s;
  s.len1 = len1;
  s.len2 = len2;
  s.maxblock = maxblock;
  const int K = maxblock;
  const std::size_t S = static_cast<std::size_t>(K) + 1;
  const std::size_t row = (static_cast<std::size_t>(len2) + 1) * S;
  const std::size_t cells = (static_cast<std::size_t>(len1) + 1) * row;
  take_tables(s, cells, keep);
  s.row_exp.assign((static_cast<std::size_t>(len1) + 1) * S, kZeroRow);
  s.log_z.assign(S, -std::numeric_limits<double>::infinity());
  s.log_z[0] = 0.0;

  std::vector<double> a(S, 0.0), b(S, 0.0), factor(S, 1.0);
  std::vector<int> base(S, kZeroRow);
  double* M = s.M.data();
  double* I = s.I.data();
  double* D = s.D.data();
  for (int i = 0; i <= len1; ++i) {
    check_interrupt();  // a long merge answers an interrupt within a row
    const std::size_t c0 = static_cast<std::size_t>(i) * row;
    set_fixed_entries(M, I, D, c0, row, S, i == 0);
    s.row_exp[static_cast<std::size_t>(i) * S] = 0;  // layer 0: factor 1 in every row
    if (i == 0) continue;

    common_factors(&s.row_exp[static_cast<std::size_t>(i - 1) * S], K, a.data(), b.data(), base.data());
    const double* w = weights.data() + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(len2);
    fill_row_path(K, len2, w, a.data(), b.data(), M, I, D, c0 - row, c0);
    keep_row_in_range(M, I, D, c0, row, c0 + static_cast<std::size_t>(len2) * S, K, base.data(),
                      &s.row_exp[static_cast<std::size_t>(i) * S], factor);
  }
  const std::size_t corner = s.cell(len1, len2, 0);
  for (int k = 1; k <= K; ++k) {
    const double c = M[corner + k] + I[corner + k] + D[corner + k];
    if (c > 0.0) s.log_z[k] = std::log(c) + s.exponent(len1, k) * 0.6931471805599453;
  }
  return s;
}

}  // namespace xk
