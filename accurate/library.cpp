#include "accurate/library.hpp"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <exception>
#include <mutex>
#include <thread>

#include "blockalign/support_path.hpp"
#include "common/residues.hpp"

namespace xk::accurate {

namespace {

constexpr char kGap = '.';

// Per column of a row, the residue there (from 1), 0 at a gap.
std::vector<int> residue_at_columns(const std::string& row) {
  std::vector<int> at(row.size(), 0);
  int r = 0;
  for (std::size_t c = 0; c < row.size(); ++c)
    if (is_sequence_letter(row[c])) at[c] = ++r;
  return at;
}

}  // namespace

PairLibrary::PairLibrary(int n) : n_(n) {
  const std::size_t pairs = n > 1 ? static_cast<std::size_t>(n) * static_cast<std::size_t>(n - 1) / 2 : 0;
  forward_.resize(pairs);
  backward_.resize(pairs);
}

std::size_t PairLibrary::index(int x, int y) const {
  assert(1 <= x && x < y && y <= n_);
  // Pairs in row order: (1,2)..(1,n), (2,3)..
  const auto X = static_cast<std::size_t>(x - 1), N = static_cast<std::size_t>(n_);
  return X * N - X * (X + 1) / 2 + static_cast<std::size_t>(y - x - 1);
}

void PairLibrary::set(int x, int y, SparsePosterior posterior, int len_y) {
  const std::size_t k = index(x, y);
  // The transpose: y's residues against x's, x's residues increasing.
  SparsePosterior back;
  back.start.assign(static_cast<std::size_t>(std::max(len_y, 0)) + 1, 0);
  for (const PairEntry& e : posterior.entries)
    if (e.j >= 1 && e.j <= len_y) ++back.start[static_cast<std::size_t>(e.j)];
  for (std::size_t j = 1; j < back.start.size(); ++j) back.start[j] += back.start[j - 1];
  back.entries.resize(static_cast<std::size_t>(back.start.back()));
  std::vector<int> fill(back.start.begin(), back.start.end() - 1);
  for (std::size_t i = 1; i < posterior.start.size(); ++i)
    for (int c = posterior.start[i - 1]; c < posterior.start[i]; ++c) {
      const PairEntry& e = posterior.entries[static_cast<std::size_t>(c)];
      if (e.j >= 1 && e.j <= len_y)
        back.entries[static_cast<std::size_t>(fill[static_cast<std::size_t>(e.j - 1)]++)] = {static_cast<int>(i), e.p};
    }
  forward_[k] = std::move(posterior);
  backward_[k] = std::move(back);
}

const SparsePosterior& PairLibrary::table(int x, int y) const {
  assert(x != y && x >= 1 && y >= 1 && x <= n_ && y <= n_);
  return x < y ? forward_[index(x, y)] : backward_[index(y, x)];
}

std::span<const PairEntry> PairLibrary::partners(int x, int i, int y) const {
  if (x == y || x < 1 || y < 1 || x > n_ || y > n_ || i < 1) return {};
  return table(x, y).of(static_cast<std::size_t>(i));
}

PairLibrary consistency_transform(const PairLibrary& lib, std::span<const int> lengths, float floor,
                                  unsigned threads, const std::function<void()>& between) {
  const int n = lib.size();
  assert(static_cast<int>(lengths.size()) >= n);
  PairLibrary out(n);
  // One pair: its sums in a dense table of its own.
  auto transform = [&](int x, int y, std::vector<double>& sum, std::vector<const SparsePosterior*>& via_x,
                       std::vector<const SparsePosterior*>& via_y) {
    const auto lx = static_cast<std::size_t>(lengths[static_cast<std::size_t>(x - 1)]);
    const auto ly = static_cast<std::size_t>(lengths[static_cast<std::size_t>(y - 1)]);
    sum.assign(lx * ly, 0.0);
    // The third sequences' tables, x against z and z against y.
    via_x.clear();
    via_y.clear();
    for (int z = 1; z <= n; ++z) {
      if (z == x || z == y) continue;
      via_x.push_back(&lib.table(x, z));
      via_y.push_back(&lib.table(z, y));
    }
    const SparsePosterior& direct = lib.table(x, y);
    for (std::size_t i = 1; i <= lx; ++i) {
      double* row = &sum[(i - 1) * ly];
      for (const PairEntry& e : direct.of(i)) row[e.j - 1] += 2.0 * e.p;
      for (std::size_t z = 0; z < via_x.size(); ++z)
        for (const PairEntry& a : via_x[z]->of(i))
          for (const PairEntry& b : via_y[z]->of(static_cast<std::size_t>(a.j)))
            row[b.j - 1] += static_cast<double>(a.p) * b.p;
    }
    SparsePosterior p;
    p.start.assign(lx + 1, 0);
    const double scale = 1.0 / n;
    for (std::size_t i = 1; i <= lx; ++i) {
      for (std::size_t j = 1; j <= ly; ++j) {
        const double v = sum[(i - 1) * ly + j - 1] * scale;
        if (v >= floor) p.entries.push_back({static_cast<int>(j), static_cast<float>(v)});
      }
      p.start[i] = static_cast<int>(p.entries.size());
    }
    out.set(x, y, std::move(p), static_cast<int>(ly));
  };
  // Threads take the first sequences x in turn; each sets its own pairs.
  // A failure (memory, an interrupt) stops every thread and is thrown on
  // the caller's.
  std::atomic<int> next{1};
  std::mutex failed;
  std::exception_ptr error;
  auto work = [&] {
    try {
      std::vector<double> sum;
      std::vector<const SparsePosterior*> via_x, via_y;
      for (int x = next++; x <= n; x = next++) {
        if (between) between();
        for (int y = x + 1; y <= n; ++y) transform(x, y, sum, via_x, via_y);
      }
    } catch (...) {
      next = n + 1;
      std::lock_guard guard(failed);
      if (!error) error = std::current_exception();
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < std::max(1u, threads); ++t) helpers.emplace_back(work);
    work();
  }
  if (error) std::rethrow_exception(error);
  return out;
}

std::vector<float> join_support(const GroupAlignment& first, const GroupAlignment& second, const PairLibrary& lib) {
  const std::size_t len1 = first.position_column.size(), len2 = second.position_column.size();
  std::vector<float> support(len1 * len2, 0.0f);
  if (first.rows.empty() || second.rows.empty()) return support;
  // The second group: per member, the column of each residue; per column,
  // its profile position (or -1).
  std::vector<std::vector<int>> column_of(second.rows.size());
  for (std::size_t m = 0; m < second.rows.size(); ++m) {
    const std::string& row = second.rows[m];
    for (std::size_t c = 0; c < row.size(); ++c)
      if (is_sequence_letter(row[c])) column_of[m].push_back(static_cast<int>(c));
  }
  std::vector<int> position_of(second.rows.front().size(), -1);
  for (std::size_t q = 0; q < len2; ++q) position_of[static_cast<std::size_t>(second.position_column[q])] = static_cast<int>(q);

  const float share = 1.0f / static_cast<float>(first.rows.size() * second.rows.size());
  for (std::size_t a = 0; a < first.rows.size(); ++a) {
    const std::vector<int> at = residue_at_columns(first.rows[a]);
    for (std::size_t p = 0; p < len1; ++p) {
      const int i = at[static_cast<std::size_t>(first.position_column[p])];
      if (i == 0) continue;
      for (std::size_t b = 0; b < second.rows.size(); ++b) {
        for (const PairEntry& e : lib.partners(first.members[a], i, second.members[b])) {
          if (static_cast<std::size_t>(e.j) > column_of[b].size()) continue;
          const int q = position_of[static_cast<std::size_t>(column_of[b][static_cast<std::size_t>(e.j - 1)])];
          if (q >= 0) support[p * len2 + static_cast<std::size_t>(q)] += share * e.p;
        }
      }
    }
  }
  return support;
}

double library_score(const std::vector<std::string>& rows, const PairLibrary& lib) {
  const int n = static_cast<int>(rows.size());
  double total = 0.0;
  std::vector<std::vector<int>> number;  // per row and column: residue number, 0 at a gap
  for (const std::string& row : rows) number.push_back(residue_at_columns(row));
  for (int x = 1; x <= n; ++x)
    for (int y = x + 1; y <= n; ++y) {
      const std::vector<int>& nx = number[static_cast<std::size_t>(x - 1)];
      const std::vector<int>& ny = number[static_cast<std::size_t>(y - 1)];
      for (std::size_t c = 0; c < std::min(nx.size(), ny.size()); ++c) {
        if (nx[c] == 0 || ny[c] == 0) continue;
        for (const PairEntry& e : lib.partners(x, nx[c], y))
          if (e.j == ny[c]) total += e.p;
      }
    }
  return total;
}

std::vector<std::string> realign_each_to_rest(std::vector<std::string> rows, const PairLibrary& lib) {
  const int n = static_cast<int>(rows.size());
  if (n < 2) return rows;
  std::size_t width = 0;
  for (std::string& row : rows) {
    for (char& c : row)
      if (!is_sequence_letter(c)) c = kGap;
    width = std::max(width, row.size());
  }
  for (std::string& row : rows) row.resize(width, kGap);
  for (int x = 1; x <= n; ++x) {
    // The others, without the columns only x held.
    GroupAlignment rest;
    std::string residues;
    for (char c : rows[static_cast<std::size_t>(x - 1)])
      if (c != kGap) residues += c;
    std::vector<bool> kept(width, false);
    for (int s = 1; s <= n; ++s) {
      if (s == x) continue;
      const std::string& row = rows[static_cast<std::size_t>(s - 1)];
      for (std::size_t c = 0; c < width; ++c) kept[c] = kept[c] || row[c] != kGap;
    }
    for (int s = 1; s <= n; ++s) {
      if (s == x) continue;
      const std::string& row = rows[static_cast<std::size_t>(s - 1)];
      std::string r;
      for (std::size_t c = 0; c < width; ++c)
        if (kept[c]) r += row[c];
      rest.members.push_back(s);
      rest.rows.push_back(std::move(r));
    }
    const std::size_t w = rest.rows.front().size();
    rest.position_column.resize(w);
    for (std::size_t c = 0; c < w; ++c) rest.position_column[c] = static_cast<int>(c);
    const GroupAlignment alone = sequence_alignment(x, residues);
    const std::vector<float> support = join_support(alone, rest, lib);
    const MatchPath path = best_supported_path(static_cast<int>(residues.size()), static_cast<int>(w), support);
    rows = rows_in_sequence_order(join_groups(alone, rest, path));
    width = rows.front().size();
  }
  return rows;
}

}  // namespace xk::accurate
