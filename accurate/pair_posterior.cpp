#include "accurate/pair_posterior.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "common/table.hpp"

namespace xk::accurate {

// The model: M(i, j) emits residues i and j with odds e(i, j); X(i, j) has
// residue i of the first sequence unaligned, Y(i, j) residue j of the
// second.  An alignment starts in M at (1, j) or (i, 1) (what comes before
// is unaligned at no cost), ends in M at (len1, j) or (i, len2), and moves
//   M -> M (1 - 2 open), M -> X, M -> Y (open each),
//   X -> X, Y -> Y (extend), X -> M, Y -> M (1 - extend).
// The posterior of (i, j) is the summed weight of the alignments through
// M(i, j) divided by the summed weight of all.

SparsePosterior pair_posterior(int len1, int len2, std::span<const float> scores, const PairModel& model) {
  assert(len1 >= 0 && len2 >= 0);
  SparsePosterior out;
  out.start.assign(static_cast<std::size_t>(len1) + 1, 0);
  if (len1 == 0 || len2 == 0) return out;
  const auto n1 = static_cast<std::size_t>(len1), n2 = static_cast<std::size_t>(len2);
  assert(scores.size() >= n1 * n2);
  const double stay = 1.0 - 2.0 * model.open, open = model.open, ext = model.extend, close = 1.0 - model.extend;

  // The match odds, made once for both passes.
  std::vector<double> odds_table = make_table<double>(n1 * n2, "pair posterior");
  for (std::size_t c = 0; c < n1 * n2; ++c) odds_table[c] = std::exp2(model.scale * static_cast<double>(scores[c]));
  auto odds = [&](std::size_t i, std::size_t j) { return odds_table[(i - 1) * n2 + (j - 1)]; };  // i, j from 1

  // Forward: M of rows 1..len1 kept, stored as true value x exp(-fscale[i]);
  // X and Y only for the row before and the row in hand.  The row before
  // the first is all zero.
  std::vector<double> fm = make_table<double>(n1 * n2, "pair posterior"), fscale(n1 + 1, 0.0);
  std::vector<double> px(n2, 0.0), x(n2), y(n2), py(n2, 0.0);
  for (std::size_t i = 1; i <= n1; ++i) {
    const double start = std::exp(-fscale[i - 1]);  // a fresh start, in the previous row's units
    double* m = &fm[(i - 1) * n2];
    const double* pm = i > 1 ? &fm[(i - 2) * n2] : nullptr;
    double top = 0.0;
    for (std::size_t j = 1; j <= n2; ++j) {
      double into = (i == 1 || j == 1) ? start : 0.0;
      if (pm != nullptr && j > 1) into += stay * pm[j - 2] + close * (px[j - 2] + py[j - 2]);
      m[j - 1] = odds(i, j) * into;
      x[j - 1] = pm != nullptr ? open * pm[j - 1] + ext * px[j - 1] : 0.0;
      y[j - 1] = j > 1 ? open * m[j - 2] + ext * y[j - 2] : 0.0;
      top = std::max({top, m[j - 1], x[j - 1], y[j - 1]});
    }
    fscale[i] = fscale[i - 1];
    if (top > 0.0) {
      const double inv = 1.0 / top;
      for (std::size_t j = 0; j < n2; ++j) m[j] *= inv, x[j] *= inv, y[j] *= inv;
      fscale[i] += std::log(top);
    }
    std::swap(px, x);
    std::swap(py, y);
  }

  // Backward: M of rows len1..1 kept, stored as true value x exp(-bscale[i]);
  // the row after the last is all zero.  nx: X of the row after; nd: per
  // column j, the row after's odds(i + 1, j + 1) times its M there.
  std::vector<double> bm = make_table<double>(n1 * n2, "pair posterior"), bscale(n1 + 2, 0.0);
  std::vector<double> nx(n2, 0.0), nd(n2, 0.0), bx(n2), by(n2), d(n2);
  for (std::size_t i = n1; i >= 1; --i) {
    const double end = std::exp(-bscale[i + 1]);
    double* m = &bm[(i - 1) * n2];
    const bool last = i == n1;
    double top = 0.0;
    for (std::size_t j = n2; j >= 1; --j) {
      const double diag = j < n2 ? nd[j] : 0.0;   // into M at (i + 1, j + 1)
      const double down = nx[j - 1];              // X at (i + 1, j)
      const double right = j < n2 ? by[j] : 0.0;  // Y at (i, j + 1)
      m[j - 1] = ((last || j == n2) ? end : 0.0) + stay * diag + open * (down + right);
      bx[j - 1] = close * diag + ext * down;
      by[j - 1] = close * diag + ext * right;
      top = std::max({top, m[j - 1], bx[j - 1], by[j - 1]});
    }
    bscale[i] = bscale[i + 1];
    if (top > 0.0) {
      const double inv = 1.0 / top;
      for (std::size_t j = 0; j < n2; ++j) m[j] *= inv, bx[j] *= inv, by[j] *= inv;
      bscale[i] += std::log(top);
    }
    // What the row above reads of this one.
    for (std::size_t j = 1; j <= n2; ++j) d[j - 1] = odds(i, j) * m[j - 1];
    std::swap(nd, d);
    std::swap(nx, bx);
  }

  // The total: every alignment ends in M on the last row or column.
  double log_total = -std::numeric_limits<double>::infinity();
  auto add = [&](double v, double s) {
    if (v <= 0.0) return;
    const double l = std::log(v) + s;
    log_total = log_total > l ? log_total + std::log1p(std::exp(l - log_total))
                              : l + (std::isinf(log_total) ? 0.0 : std::log1p(std::exp(log_total - l)));
  };
  for (std::size_t i = 1; i < n1; ++i) add(fm[(i - 1) * n2 + n2 - 1], fscale[i]);
  for (std::size_t j = 1; j <= n2; ++j) add(fm[(n1 - 1) * n2 + j - 1], fscale[n1]);
  if (std::isinf(log_total)) return out;

  // Posterior = fm x bm x exp(s); the factor once a row, through the
  // logarithm only where it would leave the double range.
  constexpr double kWide = 700.0;
  for (std::size_t i = 1; i <= n1; ++i) {
    const double s = fscale[i] + bscale[i] - log_total;
    const double factor = s < kWide ? std::exp(s) : 0.0;
    for (std::size_t j = 1; j <= n2; ++j) {
      const double v = fm[(i - 1) * n2 + j - 1] * bm[(i - 1) * n2 + j - 1];
      if (v <= 0.0) continue;
      const double p = s < kWide ? v * factor : std::exp(std::log(v) + s);
      if (p >= model.floor) out.entries.push_back({static_cast<int>(j), static_cast<float>(std::min(p, 1.0))});
    }
    out.start[i] = static_cast<int>(out.entries.size());
  }
  return out;
}

std::vector<double> pair_posterior_reference(int len1, int len2, std::span<const float> scores,
                                             const PairModel& model) {
  const auto n1 = static_cast<std::size_t>(std::max(len1, 0)), n2 = static_cast<std::size_t>(std::max(len2, 0));
  std::vector<double> post(n1 * n2, 0.0);
  if (n1 == 0 || n2 == 0) return post;
  constexpr double kNone = -std::numeric_limits<double>::infinity();
  auto lse = [](double a, double b) {
    if (a == kNone) return b;
    if (b == kNone) return a;
    return std::max(a, b) + std::log(std::exp(a - std::max(a, b)) + std::exp(b - std::max(a, b)));
  };
  const double ls = std::log(1.0 - 2.0 * model.open), lo = std::log(model.open), le = std::log(model.extend),
               lc = std::log(1.0 - model.extend);
  auto le2 = [&](std::size_t i, std::size_t j) {
    return model.scale * static_cast<double>(scores[(i - 1) * n2 + (j - 1)]) * std::log(2.0);
  };
  // Tables with a border row and column of "none", indexed (i, j) from 0.
  const std::size_t w = n2 + 2;
  std::vector<double> fm((n1 + 2) * w, kNone), fx = fm, fy = fm, bm = fm, bx = fm, by = fm;
  auto at = [&](std::size_t i, std::size_t j) { return i * w + j; };
  for (std::size_t i = 1; i <= n1; ++i)
    for (std::size_t j = 1; j <= n2; ++j) {
      double into = (i == 1 || j == 1) ? 0.0 : kNone;
      into = lse(into, fm[at(i - 1, j - 1)] + ls);
      into = lse(into, fx[at(i - 1, j - 1)] + lc);
      into = lse(into, fy[at(i - 1, j - 1)] + lc);
      fm[at(i, j)] = into + le2(i, j);
      fx[at(i, j)] = lse(fm[at(i - 1, j)] + lo, fx[at(i - 1, j)] + le);
      fy[at(i, j)] = lse(fm[at(i, j - 1)] + lo, fy[at(i, j - 1)] + le);
    }
  for (std::size_t i = n1; i >= 1; --i)
    for (std::size_t j = n2; j >= 1; --j) {
      const double diag = i < n1 && j < n2 ? bm[at(i + 1, j + 1)] + le2(i + 1, j + 1) : kNone;
      double m = (i == n1 || j == n2) ? 0.0 : kNone;
      m = lse(m, diag + ls);
      m = lse(m, bx[at(i + 1, j)] + lo);
      m = lse(m, by[at(i, j + 1)] + lo);
      bm[at(i, j)] = m;
      bx[at(i, j)] = lse(diag + lc, bx[at(i + 1, j)] + le);
      by[at(i, j)] = lse(diag + lc, by[at(i, j + 1)] + le);
    }
  double total = kNone;
  for (std::size_t i = 1; i <= n1; ++i)
    for (std::size_t j = 1; j <= n2; ++j)
      if (i == n1 || j == n2) total = lse(total, fm[at(i, j)]);
  for (std::size_t i = 1; i <= n1; ++i)
    for (std::size_t j = 1; j <= n2; ++j) post[(i - 1) * n2 + (j - 1)] = std::exp(fm[at(i, j)] + bm[at(i, j)] - total);
  return post;
}

}  // namespace xk::accurate
