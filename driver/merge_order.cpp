#include "driver/merge_order.hpp"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <ostream>

#include "common/fixedwidth.hpp"
#include "common/names.hpp"

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

namespace {

// The longest node made so far that contains k (on equal length the later
// one), or k's own number.
std::string name_of(const std::vector<Join>& made, int k) {
  std::string name = std::to_string(k);
  for (const Join& j : made) {
    if (node_contains(j.joined, k) && j.joined.size() >= name.size()) name = j.joined;
  }
  return name;
}

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
    j.first = name_of(joins, j.p);
    j.second = name_of(joins, j.q);
    // Both already in one group: the pair is retired above, so go on to the
    // next largest rather than stop.  Stopping here would leave every group
    // not yet joined out of the parent profile.
    if (j.first == j.second) continue;
    j.joined = joined_node_name(j.first, j.second);
    joins.push_back(std::move(j));
    if (joins.size() == N - 1) break;  // one group holds every sequence
  }
  return joins;
}

ParentFiles parent_files(const std::vector<Join>& joins) {
  const std::string stem = joins.empty() ? std::string("1") : joins.back().joined;
  return {stem + ".drct", stem + ".gca"};
}

ParentFiles run_parent_phase(int n, std::span<const float> dist, const ParentPhaseTools& tools,
                             std::ostream& console, std::vector<Join>* joins_out) {
  console << fw::ConsoleLine().text("...generating the parent profile using TESSERA-D(BAA)").str();
  const std::vector<Join> joins = merge_order(n, dist);
  for (const Join& j : joins) {
    for (const std::string* member : {&j.first, &j.second}) {
      const std::string gamma = *member + ".gca";
      if (tools.exists(gamma)) {
        console << fw::ConsoleLine().text(gamma).text(" existed").str();
      } else {
        console << fw::ConsoleLine().text("...making ").text(gamma).str();
        console.flush();  // the tool writes to the terminal too
        tools.make_gamma(*member + ".drct");
      }
    }
    console.flush();
    tools.merge(j.first + ".drct", j.second + ".drct");
  }
  if (joins_out) *joins_out = joins;
  return parent_files(joins);
}

}  // namespace xk
