#include "localstructure/forward_backward.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>

namespace xk::ls {

namespace {

constexpr double kNegInf = -std::numeric_limits<double>::infinity();

std::span<const float, 20> profile_row(std::span<const float> profile, int t) {
  return std::span<const float, 20>(profile.data() + static_cast<std::size_t>(t) * kResidues, kResidues);
}

// Weights of one row; false when the row carries no information.
bool weights_of(std::span<const float> profile, int t, std::array<double, 20>& w) {
  column_weights(profile_row(profile, t), w);
  for (double x : w) {
    if (x > 0.0) return true;
  }
  return false;
}

}  // namespace

void column_weights(std::span<const float, 20> row, std::span<double, 20> out) {
  for (std::size_t a = 0; a < 20; ++a) {
    float v = row[a];
    out[a] = (std::isfinite(v) && v > 0.0f) ? static_cast<double>(v) : 0.0;
  }
}

CompiledModel compile_model(const StructureModel& model) {
  CompiledModel c;
  const int S = model.states();
  c.states = S;
  c.begin.assign(static_cast<std::size_t>(S), 0.0);
  std::vector<int> in_count(static_cast<std::size_t>(S) + 1, 0), out_count(static_cast<std::size_t>(S) + 1, 0);
  for (const Transition& t : model.transitions) {
    if (t.from == 0) {
      c.begin[t.to] += t.prob;
    } else {
      ++in_count[t.to + 1];
      ++out_count[t.from + 1];
    }
  }
  for (int s = 0; s < S; ++s) {
    in_count[s + 1] += in_count[s];
    out_count[s + 1] += out_count[s];
  }
  c.in_start = in_count;
  c.out_start = out_count;
  const std::size_t E = static_cast<std::size_t>(in_count.back());
  c.in_from.resize(E);
  c.in_prob.resize(E);
  c.out_to.resize(E);
  c.out_prob.resize(E);
  std::vector<int> in_fill(in_count.begin(), in_count.end() - 1), out_fill(out_count.begin(), out_count.end() - 1);
  for (const Transition& t : model.transitions) {
    if (t.from == 0) continue;
    auto k = static_cast<std::size_t>(in_fill[t.to]++);
    c.in_from[k] = t.from;
    c.in_prob[k] = t.prob;
    auto m = static_cast<std::size_t>(out_fill[t.from]++);
    c.out_to[m] = t.to;
    c.out_prob[m] = t.prob;
  }
  // Distinct emission rows: states of one class share theirs.
  c.row_of_state.assign(static_cast<std::size_t>(S), -1);
  std::vector<double> by_row;  // distinct rows x 20
  for (int s = 1; s < S; ++s) {
    const double* e = model.emission.data() + static_cast<std::size_t>(s) * kResidues;
    int found = -1;
    for (int r = 1; r < s && found < 0; ++r) {
      const double* f = model.emission.data() + static_cast<std::size_t>(r) * kResidues;
      if (c.row_of_state[r] >= 0 && std::equal(e, e + kResidues, f)) {
        found = c.row_of_state[r];
      }
    }
    if (found < 0) {
      found = c.rows++;
      for (int a = 0; a < kResidues; ++a) by_row.push_back(e[a] / model.background[a]);
    }
    c.row_of_state[s] = found;
  }
  // Laid out by residue, so that one residue's odds of every row are one run.
  const auto rows = static_cast<std::size_t>(c.rows);
  c.odds.resize(by_row.size());
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t a = 0; a < kResidues; ++a) c.odds[a * rows + r] = by_row[r * kResidues + a];
  c.odds_finite = std::all_of(c.odds.begin(), c.odds.end(), [](double o) { return std::isfinite(o); });
  return c;
}

namespace {

// Emissions of the distinct rows, made one position at a time when a pass
// needs them: a table of them all (L x rows doubles) would cost more to
// fault in than to make twice.  A position marked `flat` emits 1 under every
// row: it carries no information, or no state can emit it.
class Emissions {
 public:
  Emissions(const CompiledModel& m, std::span<const float> profile, std::size_t L)
      : m_(m), profile_(profile), flat_(L, 0), row_(static_cast<std::size_t>(m.rows)) {}

  // The emissions of position t, one per distinct row; valid until the next call.
  //
  // Each row's sum starts at 0 and adds w_a x odds in residue order, as a
  // dot product taken row by row; here the rows run side by side, two to a
  // register, so that no row waits on the adds of its own chain.  Weights
  // and odds are never negative, so a term of weight 0 adds +0 to a sum that
  // is never -0 and changes nothing: such residues are skipped (a sequence's
  // one-hot row costs one pass), unless an odds is infinite (0 x inf = NaN).
  // This file is built for the x86-64 baseline, which has no fused
  // multiply-add: each term stays a product, then a sum.
  const double* at(std::size_t t) {
    if (flat_[t] || !weights_of(profile_, static_cast<int>(t), w_)) {
      flat_[t] = 1;
      std::fill(row_.begin(), row_.end(), 1.0);
      return row_.data();
    }
    using Pair = double __attribute__((vector_size(16)));
    const std::size_t rows = row_.size(), paired = rows / 2 * 2;
    double* sum = row_.data();
    std::fill(row_.begin(), row_.end(), 0.0);
    for (std::size_t a = 0; a < kResidues; ++a) {
      const double wa = w_[a];
      if (wa == 0.0 && m_.odds_finite) continue;
      const double* o = m_.odds.data() + a * rows;
      const Pair w2 = {wa, wa};
      for (std::size_t r = 0; r < paired; r += 2) {
        Pair s2, o2;
        std::memcpy(&s2, sum + r, sizeof s2);
        std::memcpy(&o2, o + r, sizeof o2);
        s2 = s2 + w2 * o2;
        std::memcpy(sum + r, &s2, sizeof s2);
      }
      if (paired < rows) sum[paired] = sum[paired] + wa * o[paired];
    }
    return row_.data();
  }

  // Takes position t as one that no state can emit.
  const double* flatten(std::size_t t) {
    flat_[t] = 1;
    return at(t);
  }

 private:
  const CompiledModel& m_;
  std::span<const float> profile_;
  std::vector<char> flat_;
  std::vector<double> row_;
  std::array<double, 20> w_{};
};

// Forward, each row of alpha (L x states) scaled to sum 1, its sum kept in
// scale[t].  A position no state can emit is taken as carrying no
// information: it is marked flat in e.  Returns the sum of the log scales
// (the forward log-odds).
double forward(const CompiledModel& m, Emissions& e, std::span<double> alpha, std::vector<double>& scale) {
  const int S = m.states;
  const auto SS = static_cast<std::size_t>(S);
  const std::size_t L = scale.size();
  const int* row = m.row_of_state.data();
  for (std::size_t t = 0; t < L; ++t) {
    double* a = alpha.data() + t * SS;
    const double* gt = e.at(t);
    for (int pass = 0; pass < 2; ++pass) {
      double c = 0.0;
      if (t == 0) {
        for (int s = 1; s < S; ++s) {
          a[s] = m.begin[s] * gt[row[s]];
          c += a[s];
        }
      } else {
        const double* prev = a - SS;
        for (int j = 1; j < S; ++j) {
          double sum = 0.0;
          for (int k = m.in_start[j]; k < m.in_start[j + 1]; ++k) {
            sum += prev[m.in_from[k]] * m.in_prob[k];
          }
          a[j] = sum * gt[row[j]];
          c += a[j];
        }
      }
      if (c > 0.0 && std::isfinite(c)) {
        const double inv = 1.0 / c;
        for (int s = 1; s < S; ++s) a[s] *= inv;
        scale[t] = c;
        break;
      }
      gt = e.flatten(t);
    }
  }
  double logf = 0.0;
  for (double c : scale) logf += std::log(c);
  return logf;
}

// Backward with the forward scales; gamma = alpha * beta in place.  Returns
// the total of the first position (begin x emission x beta), scaled as the
// forward's first row.
double backward(const CompiledModel& m, Emissions& e, std::span<const double> scale, std::span<double> alpha) {
  const int S = m.states;
  const auto SS = static_cast<std::size_t>(S);
  const int* row = m.row_of_state.data();
  std::vector<double> beta(SS, 1.0), next(SS, 0.0), weighted(SS, 0.0);
  for (std::size_t t = scale.size(); t-- > 0;) {
    double* a = alpha.data() + t * SS;
    for (int s = 1; s < S; ++s) a[s] *= beta[s];
    if (t == 0) break;
    const double* gt = e.at(t);
    const double inv = 1.0 / scale[t];
    for (int j = 1; j < S; ++j) weighted[j] = gt[row[j]] * beta[j] * inv;
    for (int i = 1; i < S; ++i) {
      double sum = 0.0;
      for (int k = m.out_start[i]; k < m.out_start[i + 1]; ++k) {
        sum += m.out_prob[k] * weighted[m.out_to[k]];
      }
      next[i] = sum;
    }
    std::swap(beta, next);
  }
  const double* g0 = e.at(0);
  double total = 0.0;
  for (int s = 1; s < S; ++s) total += m.begin[s] * g0[row[s]] * beta[s];
  return total;
}

// Rows of gamma (L x states, states 1.. used) sum to 1 up to rounding
// already; makes it exact.
void normalise_rows(std::span<double> gamma, std::size_t L, int S) {
  const auto SS = static_cast<std::size_t>(S);
  for (std::size_t t = 0; t < L; ++t) {
    double* a = gamma.data() + t * SS;
    double sum = 0.0;
    for (int s = 1; s < S; ++s) sum += a[s];
    if (sum > 0.0) {
      const double inv = 1.0 / sum;
      for (int s = 1; s < S; ++s) a[s] *= inv;
    }
  }
}

}  // namespace

Posteriors posteriors(const CompiledModel& m, std::span<const float> profile, int length) {
  Posteriors out;
  out.length = std::max(length, 0);
  if (out.length == 0) return out;
  const auto L = static_cast<std::size_t>(out.length);
  assert(profile.size() >= L * kResidues);

  Emissions e(m, profile, L);
  out.gamma.assign(L * static_cast<std::size_t>(m.states), 0.0);
  std::vector<double> scale(L, 1.0);
  out.logodds_forward = forward(m, e, out.gamma, scale);
  const double total = backward(m, e, scale, out.gamma);
  out.logodds_backward = std::log(total) + out.logodds_forward - std::log(scale[0]);
  normalise_rows(out.gamma, L, m.states);
  return out;
}

namespace reference {

namespace {
double log_sum_exp(const std::vector<double>& terms) {
  double mx = kNegInf;
  for (double x : terms) mx = std::max(mx, x);
  if (mx == kNegInf) return kNegInf;
  double sum = 0.0;
  for (double x : terms) sum += std::exp(x - mx);
  return mx + std::log(sum);
}
}  // namespace

Posteriors posteriors(const StructureModel& model, std::span<const float> profile, int length) {
  Posteriors out;
  out.length = std::max(length, 0);
  if (out.length == 0) return out;
  const int S = model.states();
  const auto L = static_cast<std::size_t>(out.length);
  const auto SS = static_cast<std::size_t>(S);
  auto at = [SS](std::size_t t, int s) { return t * SS + static_cast<std::size_t>(s); };

  std::vector<double> logA(SS * SS, kNegInf);
  for (const Transition& t : model.transitions) {
    logA[static_cast<std::size_t>(t.from) * SS + static_cast<std::size_t>(t.to)] = std::log(t.prob);
  }
  std::vector<double> logb(L * SS, kNegInf);
  std::array<double, 20> w{};
  for (std::size_t t = 0; t < L; ++t) {
    bool info = weights_of(profile, static_cast<int>(t), w);
    for (int s = 1; s < S; ++s) {
      double sum = 0.0;
      for (int a = 0; a < kResidues; ++a) sum += w[a] * model.e(s, a) / model.background[a];
      logb[at(t, s)] = info ? std::log(sum) : 0.0;
    }
  }

  std::vector<double> la(L * SS, kNegInf), lb(L * SS, kNegInf), terms;
  for (std::size_t t = 0; t < L; ++t) {
    for (int pass = 0; pass < 2; ++pass) {
      bool any = false;
      for (int j = 1; j < S; ++j) {
        terms.clear();
        if (t == 0) {
          terms.push_back(logA[j]);
        } else {
          for (int i = 0; i < S; ++i) {
            double lt = logA[static_cast<std::size_t>(i) * SS + static_cast<std::size_t>(j)];
            if (lt != kNegInf && la[at(t - 1, i)] != kNegInf) terms.push_back(la[at(t - 1, i)] + lt);
          }
        }
        la[at(t, j)] = log_sum_exp(terms) + logb[at(t, j)];
        if (std::isnan(la[at(t, j)])) la[at(t, j)] = kNegInf;
        any = any || la[at(t, j)] != kNegInf;
      }
      if (any) break;
      for (int s = 1; s < S; ++s) logb[at(t, s)] = 0.0;  // no state emits this position
    }
  }
  terms.assign(la.begin() + static_cast<std::ptrdiff_t>(at(L - 1, 0)), la.end());
  out.logodds_forward = log_sum_exp(terms);

  for (int s = 1; s < S; ++s) lb[at(L - 1, s)] = 0.0;
  for (std::size_t t = L - 1; t-- > 0;) {
    for (int i = 1; i < S; ++i) {
      terms.clear();
      for (int j = 1; j < S; ++j) {
        double lt = logA[static_cast<std::size_t>(i) * SS + static_cast<std::size_t>(j)];
        if (lt != kNegInf) terms.push_back(lt + logb[at(t + 1, j)] + lb[at(t + 1, j)]);
      }
      lb[at(t, i)] = log_sum_exp(terms);
    }
  }
  terms.clear();
  for (int s = 1; s < S; ++s) terms.push_back(logA[s] + logb[at(0, s)] + lb[at(0, s)]);
  out.logodds_backward = log_sum_exp(terms);

  out.gamma.assign(L * SS, 0.0);
  for (std::size_t t = 0; t < L; ++t) {
    for (int s = 1; s < S; ++s) {
      double x = la[at(t, s)] + lb[at(t, s)];
      out.gamma[at(t, s)] = x == kNegInf ? 0.0 : std::exp(x - out.logodds_forward);
    }
  }
  return out;
}

}  // namespace reference

}  // namespace xk::ls
