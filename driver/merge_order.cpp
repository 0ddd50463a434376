#include "driver/merge_order.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <future>
#include <limits>
#include <ostream>
#include <sstream>
#include <utility>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"
#include "driver/tree_pool.hpp"

namespace xk {

bool node_contains(std::string_view name, int k) {
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('-', start);
    if (end == std::string_view::npos) end = name.size();
    int member = 0;
    const char* first = name.data() + start;
    const char* last = name.data() + end;
    auto r = std::from_chars(first, last, member);
    if (r.ec == std::errc() && r.ptr == last && member == k) return true;
    start = end + 1;
  }
  return false;
}

std::string join_stem(int k) { return "j" + std::to_string(k); }

std::string held_output_stem(const std::string& join, int member) { return join + (member == 1 ? "a" : "b"); }

bool is_join_stem(std::string_view stem) {
  if (stem.size() < 2 || stem[0] != 'j' || stem[1] == '0') return false;
  return std::all_of(stem.begin() + 1, stem.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

// The node each sequence belongs to: the latest join that contains it,
// which is also the longest such node (each join holds its members' nodes
// whole), or the sequence itself.
class Nodes {
 public:
  explicit Nodes(std::size_t n) : owner_(n, -1) {}

  // Fills the names, stems and source joins of j's members (j.p, j.q from 1).
  void name_members(Join& j, const std::vector<Join>& made) const {
    const int a = owner_[static_cast<std::size_t>(j.p - 1)], b = owner_[static_cast<std::size_t>(j.q - 1)];
    j.first_join = a;
    j.second_join = b;
    j.first = a < 0 ? std::to_string(j.p) : made[static_cast<std::size_t>(a)].joined;
    j.second = b < 0 ? std::to_string(j.q) : made[static_cast<std::size_t>(b)].joined;
    j.first_stem = a < 0 ? std::to_string(j.p) : made[static_cast<std::size_t>(a)].stem;
    j.second_stem = b < 0 ? std::to_string(j.q) : made[static_cast<std::size_t>(b)].stem;
  }

  // Whether sequences p and q (from 1) already belong to one node.
  bool together(int p, int q) const {
    const int a = owner_[static_cast<std::size_t>(p - 1)], b = owner_[static_cast<std::size_t>(q - 1)];
    return a >= 0 && a == b;
  }

  // Join number t (from 0) made of the nodes of p and q.
  void join(int p, int q, int t) {
    const int a = owner_[static_cast<std::size_t>(p - 1)], b = owner_[static_cast<std::size_t>(q - 1)];
    for (std::size_t m = 0; m < owner_.size(); ++m)
      if ((a >= 0 && owner_[m] == a) || (b >= 0 && owner_[m] == b)) owner_[m] = t;
    owner_[static_cast<std::size_t>(p - 1)] = t;
    owner_[static_cast<std::size_t>(q - 1)] = t;
  }

 private:
  std::vector<int> owner_;  // join index, -1: the sequence alone
};

}  // namespace

std::vector<Join> merge_order(int n, std::span<const float> dist) {
  std::vector<Join> joins;
  if (n < 2) return joins;
  const auto N = static_cast<std::size_t>(n);
  assert(dist.size() >= N * N);
  // Our own copy: above the diagonal as given, every other entry -1.
  std::vector<float> d(N * N, -1.0f);
  for (std::size_t i = 0; i < N; ++i) {
    for (std::size_t j = i + 1; j < N; ++j) {
      d[i * N + j] = dist[i * N + j];
      assert(!std::isnan(d[i * N + j]) && "an undefined similarity must not steer the merge order");
    }
  }
  Nodes nodes(N);
  auto at = [&](std::size_t a, std::size_t b) -> float& {  // the pair {a, b}, 0-based
    return a < b ? d[a * N + b] : d[b * N + a];
  };

  for (;;) {
    // Largest value; position: column by column, strictly greater wins.
    float best = std::numeric_limits<float>::lowest();
    std::size_t p = 0, q = 0;
    for (std::size_t col = 0; col < N; ++col) {
      for (std::size_t row = 0; row < N; ++row) {
        const float v = d[row * N + col];
        if (v > best) {
          best = v;
          p = row;
          q = col;
        }
      }
    }
    if (best == -1.0f) break;
    assert(p < q);
    d[p * N + q] = -1.0f;
    for (std::size_t m = 0; m < N; ++m) {
      if (m == p || m == q) continue;
      float& a = at(p, m);
      float& b = at(q, m);
      const float mean = (a + b) / 2.0f;
      if (a >= b) {
        a = mean;
        b = -1.0f;
      } else {
        b = mean;
        a = -1.0f;
      }
    }
    Join j;
    j.p = static_cast<int>(p) + 1;
    j.q = static_cast<int>(q) + 1;
    j.similarity = best;
    // Both already in one group: the pair is retired above, so go on to the
    // next largest rather than stop.  Stopping here would leave every group
    // not yet joined out of the parent profile.
    if (nodes.together(j.p, j.q)) continue;
    nodes.name_members(j, joins);
    j.joined = joined_node_name(j.first, j.second);
    j.stem = join_stem(static_cast<int>(joins.size()) + 1);
    nodes.join(j.p, j.q, static_cast<int>(joins.size()));
    joins.push_back(std::move(j));
    if (joins.size() == N - 1) break;  // one group holds every sequence
  }
  return joins;
}

ParentFiles parent_files(const std::vector<Join>& joins) {
  if (joins.empty()) return {"1.drct", "1.gca", "1.drct"};
  const Join& last = joins.back();
  return {last.stem + ".drct", last.stem + ".gca", last.joined + ".drct"};
}

namespace {

void join_steps(const Join& j, const ParentPhaseTools& tools, std::ostream& text, bool side_by_side) {
  struct Member {
    const std::string& name;
    const std::string& stem;
    std::string held;
    bool exists;
  };
  // Making one member's gamma file cannot make the other's: both are
  // looked for first.
  Member members[2] = {{j.first, j.first_stem, held_output_stem(j.stem, 1), tools.exists(j.first_stem + ".gca")},
                       {j.second, j.second_stem, held_output_stem(j.stem, 2), tools.exists(j.second_stem + ".gca")}};
  // When both are missing, the second member's tool runs beside the
  // first's; lines and failures still come in member order, and a failure
  // of the first drops what the second's tool wrote, as the second would
  // not have run.
  std::future<void> second;
  if (side_by_side && !members[0].exists && !members[1].exists)
    second = std::async(std::launch::async,
                        [&] { tools.make_gamma(members[1].stem + ".drct", members[1].held); });
  for (int k = 0; k < 2; ++k) {
    const Member& m = members[k];
    if (m.exists) {
      text << fw::ConsoleLine().text(m.name + ".gca").text(" existed").str();
      continue;
    }
    text << fw::ConsoleLine().text("...making ").text(m.name + ".gca").str();
    if (k == 1 && second.valid()) {
      second.get();
      continue;
    }
    try {
      tools.make_gamma(m.stem + ".drct", m.held);
    } catch (...) {
      if (second.valid()) {
        second.wait();
        if (tools.pass_on) tools.pass_on(members[1].held, false);
      }
      throw;
    }
  }
  tools.merge(MergeFiles{j.first_stem + ".drct", j.second_stem + ".drct", j.stem + ".drct", j.first + ".drct",
                         j.second + ".drct"},
              text);
}

// One join: its members' gamma files (made when missing) and the merge.
// Its console lines end up in `lines`, also when a tool fails.
void run_join(const Join& j, const ParentPhaseTools& tools, std::string& lines, bool side_by_side) {
  std::ostringstream text;
  try {
    join_steps(j, tools, text, side_by_side);
  } catch (...) {
    lines = text.str();
    throw;
  }
  lines = text.str();
}

// Each join's merge_bytes, from the sequences' lengths (a merged profile
// has the length of its longer member); empty without a length tool.
std::vector<double> join_costs(int n, const std::vector<Join>& joins, const ParentPhaseTools& tools) {
  std::vector<double> costs;
  if (!tools.length) return costs;
  std::vector<int> seq(static_cast<std::size_t>(n)), made;
  for (int k = 1; k <= n; ++k) seq[static_cast<std::size_t>(k - 1)] = tools.length(std::to_string(k) + ".drct");
  for (const Join& j : joins) {
    const int l1 = j.first_join < 0 ? seq[static_cast<std::size_t>(j.p - 1)] : made[static_cast<std::size_t>(j.first_join)];
    const int l2 = j.second_join < 0 ? seq[static_cast<std::size_t>(j.q - 1)] : made[static_cast<std::size_t>(j.second_join)];
    made.push_back(std::max(l1, l2));
    costs.push_back(merge_bytes(l1, l2));
  }
  return costs;
}

// Memory the joins running side by side may hold together: what the
// largest join needs, and what a join of the median size needs for every
// further thread.  Families of similar lengths keep every thread busy; in a
// family with a few long members the joins that hold them (each as large
// as the largest) do not run two at a time.
double join_budget(std::vector<double> costs, unsigned threads) {
  if (costs.empty()) return 0.0;
  const double largest = *std::max_element(costs.begin(), costs.end());
  const auto mid = costs.begin() + static_cast<std::ptrdiff_t>(costs.size() / 2);
  std::nth_element(costs.begin(), mid, costs.end());
  return largest + *mid * static_cast<double>(std::max(1u, threads) - 1);
}

}  // namespace

ParentFiles run_parent_phase(int n, std::span<const float> dist, const ParentPhaseTools& tools,
                             std::ostream& console, unsigned threads, std::vector<Join>* joins_out) {
  console << fw::ConsoleLine().text("...generating the parent profile using TESSERA-D(BAA)").str();
  console.flush();
  const std::vector<Join> joins = merge_order(n, dist);
  if (joins_out) *joins_out = joins;
  std::vector<std::array<int, 2>> needs;
  for (const Join& j : joins) needs.push_back({j.first_join, j.second_join});
  std::vector<std::string> lines(joins.size());  // each join's console lines
  std::size_t written = 0;
  const std::vector<double> costs = join_costs(n, joins, tools);
  const double budget = join_budget(costs, threads);
  try {
    driver::tree_run<bool>(
        joins.size(), threads, needs,
        [&](std::size_t t) {
          run_join(joins[t], tools, lines[t], threads > 1);
          return true;
        },
        [&](std::size_t t, bool) {
          if (tools.pass_on)
            for (int member : {1, 2}) tools.pass_on(held_output_stem(joins[t].stem, member), true);
          console << lines[t];
          console.flush();
          written = t + 1;
        },
        costs, budget);
  } catch (...) {
    // The failed join's tool output and lines so far; what joins after it
    // left is dropped, as one join at a time would not have run them.
    if (tools.pass_on)
      for (std::size_t t = written; t < joins.size(); ++t)
        for (int member : {1, 2}) tools.pass_on(held_output_stem(joins[t].stem, member), t == written);
    if (written < lines.size()) console << lines[written];
    console.flush();
    throw;
  }
  if (joins_out) *joins_out = joins;
  return parent_files(joins);
}

}  // namespace xk
