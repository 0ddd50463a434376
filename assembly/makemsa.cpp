#include "assembly/makemsa.hpp"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <limits>

#include "common/residues.hpp"

namespace xk {

namespace {

// Where one character of a parent row goes: a parent residue number, or the
// i-th gap (from 0) of the gap run that follows residue `number`.
struct Place {
  long long number = 0;
  bool residue = false;
  std::size_t gap = 0;
};

// The places of every character of parent row `row`, whose first letter is
// residue `first`.
std::vector<Place> places_of(const std::string& row, long long first) {
  std::vector<Place> out(row.size());
  long long last = first - 1;  // the residue before the current gap run
  std::size_t run = 0;
  for (std::size_t t = 0; t < row.size(); ++t) {
    const char c = row[t];
    assert(in_alphabet(c) && "alignment rows hold alphabet characters only");
    if (is_sequence_letter(c)) {
      ++last;
      run = 0;
      out[t] = {last, true, 0};
    } else {
      out[t] = {last, false, run++};
    }
  }
  return out;
}

}  // namespace

void makemsa(std::vector<std::string>& seqpair, std::span<const int> first_parent) {
  assert(seqpair.size() % 2 == 0);
  const std::size_t n = seqpair.size() / 2;
  assert(first_parent.size() == n);

  std::vector<std::vector<Place>> places(n);
  long long lo = std::numeric_limits<long long>::max();
  long long hi = std::numeric_limits<long long>::min();
  for (std::size_t s = 0; s < n; ++s) {
    const std::string& parent = seqpair[2 * s];
    assert(seqpair[2 * s + 1].size() <= parent.size() && "a child row is never longer than its parent row");
    places[s] = places_of(parent, first_parent[s]);
    for (const Place& p : places[s]) {
      lo = std::min(lo, p.number);
      hi = std::max(hi, p.number);
    }
  }
  if (lo > hi) {  // every parent row is empty
    for (std::string& row : seqpair) row.clear();
    return;
  }

  // Per residue number r in lo..hi: whether a stretch covers it, and how
  // many gap columns follow it.
  const auto span_len = static_cast<std::size_t>(hi - lo + 1);
  std::vector<char> covered(span_len, 0);
  std::vector<std::size_t> gaps(span_len, 0);
  for (const auto& row : places) {
    for (const Place& p : row) {
      const auto i = static_cast<std::size_t>(p.number - lo);
      if (p.residue) covered[i] = 1;
      else gaps[i] = std::max(gaps[i], p.gap + 1);
    }
  }
  // Column (from 0) of residue r, and of the first gap column after it.
  std::vector<std::size_t> residue_col(span_len, 0), gap_col(span_len, 0);
  std::size_t width = 0;
  for (std::size_t i = 0; i < span_len; ++i) {
    if (covered[i]) residue_col[i] = width++;
    gap_col[i] = width;
    width += gaps[i];
  }

  // Lay out every row; the common parent row takes, column by column, the
  // first parent row's character that stands there.
  constexpr char kUnset = '\0';
  std::string common(width, kUnset);
  for (std::size_t s = 0; s < n; ++s) {
    std::string& parent = seqpair[2 * s];
    std::string& child = seqpair[2 * s + 1];
    std::string new_parent(width, '.'), new_child(width, '.');
    for (std::size_t t = 0; t < parent.size(); ++t) {
      const Place& p = places[s][t];
      const auto i = static_cast<std::size_t>(p.number - lo);
      const std::size_t col = p.residue ? residue_col[i] : gap_col[i] + p.gap;
      new_parent[col] = parent[t];
      if (t < child.size()) new_child[col] = child[t];
      if (common[col] == kUnset) common[col] = parent[t];
      // Every parent row is a stretch of the one parent residue text.
      assert(!p.residue || common[col] == parent[t]);
    }
    parent = std::move(new_parent);
    child = std::move(new_child);
  }
  std::replace(common.begin(), common.end(), kUnset, '.');
  seqpair[0] = std::move(common);
}

}  // namespace xk
