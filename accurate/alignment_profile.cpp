#include "accurate/alignment_profile.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <string_view>

#include "common/residues.hpp"

namespace xk::accurate {

namespace {

std::size_t width_of(std::span<const std::string> rows) {
  std::size_t w = 0;
  for (const std::string& r : rows) w = std::max(w, r.size());
  return w;
}

char at(const std::string& row, std::size_t c) { return c < row.size() ? row[c] : '.'; }

// Column (from 0) of residue letter c in the 20-wide tables, -1 otherwise.
int residue_index(char c) { return is_residue_letter(c) ? alphabet_class(c) - 1 : -1; }

}  // namespace

std::vector<double> sequence_weights(std::span<const std::string> rows) {
  const std::size_t n = rows.size(), width = width_of(rows);
  std::vector<double> w(n, 0.0);
  for (std::size_t c = 0; c < width; ++c) {
    std::array<int, 20> count{};
    int types = 0;
    for (const std::string& r : rows) {
      const int a = residue_index(at(r, c));
      if (a >= 0 && count[static_cast<std::size_t>(a)]++ == 0) ++types;
    }
    if (types == 0) continue;
    for (std::size_t s = 0; s < n; ++s) {
      const int a = residue_index(at(rows[s], c));
      if (a >= 0) w[s] += 1.0 / (types * count[static_cast<std::size_t>(a)]);
    }
  }
  double total = 0.0;
  for (double x : w) total += x;
  for (double& x : w) x = total > 0.0 ? x / total : 1.0 / static_cast<double>(n);
  return w;
}

std::vector<double> column_profile(std::span<const std::string> rows, std::span<const double> weights) {
  assert(weights.size() == rows.size());
  const std::size_t n = rows.size(), width = width_of(rows);
  std::vector<double> out;
  for (std::size_t c = 0; c < width; ++c) {
    std::size_t letters = 0;
    for (const std::string& r : rows) letters += is_sequence_letter(at(r, c));
    if (2 * letters < n || letters == 0) continue;
    std::array<double, 20> f{};
    double total = 0.0;
    for (std::size_t s = 0; s < n; ++s) {
      const int a = residue_index(at(rows[s], c));
      if (a < 0) continue;
      f[static_cast<std::size_t>(a)] += weights[s];
      total += weights[s];
    }
    for (double x : f) out.push_back(total > 0.0 ? x / total : 0.05);
  }
  return out;
}

std::vector<std::string> without_empty_columns(std::span<const std::string> rows) {
  const std::size_t width = width_of(rows);
  std::vector<std::string> out(rows.size());
  for (std::size_t c = 0; c < width; ++c) {
    bool any = false;
    for (const std::string& r : rows) any = any || is_sequence_letter(at(r, c));
    if (!any) continue;
    for (std::size_t s = 0; s < rows.size(); ++s) out[s] += is_sequence_letter(at(rows[s], c)) ? rows[s][c] : '.';
  }
  return out;
}

double sum_of_pairs(std::span<const std::string> rows, const PairTable& table, float go, float ge) {
  const std::size_t width = width_of(rows);
  double total = 0.0;
  for (std::size_t s = 0; s < rows.size(); ++s)
    for (std::size_t t = s + 1; t < rows.size(); ++t) {
      // Gap runs count only between the pair's first and last column
      // where both rows hold letters.
      std::size_t first = width, last = 0;
      for (std::size_t c = 0; c < width; ++c)
        if (is_sequence_letter(at(rows[s], c)) && is_sequence_letter(at(rows[t], c))) first = std::min(first, c), last = c;
      double score = 0.0;
      char run = ' ';  // which row of the pair has the current gap run
      for (std::size_t c = first; c <= last && first < width; ++c) {
        const char a = at(rows[s], c), b = at(rows[t], c);
        const bool la = is_sequence_letter(a), lb = is_sequence_letter(b);
        if (la && lb) {
          const int x = residue_index(a), y = residue_index(b);
          if (x >= 0 && y >= 0) score += table[static_cast<std::size_t>(x * 20 + y)];
          run = ' ';
        } else if (la != lb) {
          const char gapped = la ? 't' : 's';
          score -= run == gapped ? ge : go;
          run = gapped;
        }
      }
      total += score;
    }
  return total;
}

PairTable pair_table(const FrequencyTables& f) {
  std::array<double, 400> joint{};
  std::array<double, 20> single{};
  double jt = 0.0, st = 0.0;
  for (int s = 1; s <= kScoredStates; ++s)
    for (int a = 1; a <= 20; ++a) {
      single[static_cast<std::size_t>(a - 1)] += f.matrix2[m2_index(a, s)];
      for (int b = 1; b <= 20; ++b) joint[static_cast<std::size_t>((a - 1) * 20 + (b - 1))] += f.matrix1[m1_index(a, b, s)];
    }
  for (double x : joint) jt += x;
  for (double x : single) st += x;
  PairTable t{};
  for (std::size_t a = 0; a < 20; ++a)
    for (std::size_t b = 0; b < 20; ++b) {
      const double p = 0.5 * (joint[a * 20 + b] + joint[b * 20 + a]) / jt;
      const double q = (single[a] / st) * (single[b] / st);
      t[a * 20 + b] = p > 0.0 && q > 0.0 ? static_cast<float>(2.0 * std::log2(p / q)) : 0.0f;
    }
  return t;
}

}  // namespace xk::accurate
