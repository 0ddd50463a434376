// The aligner with fixed ends: hand-worked cases, the two-column aligner
// against the full-table one, and every path rescored from its cells.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "scoring/dp_ends.hpp"

using namespace xk;

namespace {

constexpr float kGo = 21.0f, kGe = 0.4f;

// The two-column aligner on every vector path this processor runs against
// the full-table one: they must agree entirely.
DpResult both(int n1, int n2, const std::vector<float>& s, FreeEnds e, float go = kGo, float ge = kGe) {
  const DpResult ref = reference::dp_ends(n1, n2, go, ge, s, e);
  for (VectorPath path : usable_vector_paths()) {
    const DpResult fast = dp_ends(n1, n2, go, ge, s, e, path);
    EXPECT_EQ(fast.path, ref.path) << vector_path_name(path);
    EXPECT_EQ(fast.n1, ref.n1) << vector_path_name(path);
    EXPECT_EQ(fast.n2, ref.n2) << vector_path_name(path);
    EXPECT_EQ(fast.score, ref.score) << vector_path_name(path);
  }
  return ref;
}

std::vector<float> scores(int n1, int n2, float fill, std::initializer_list<std::tuple<int, int, float>> cells) {
  std::vector<float> s(static_cast<std::size_t>(n1 * n2), fill);
  for (auto [i, j, v] : cells) s[static_cast<std::size_t>((i - 1) * n2 + (j - 1))] = v;
  return s;
}

std::string padded(const std::string& s, int n) { return s + std::string(static_cast<std::size_t>(n) - s.size(), ' '); }

// Walks the path from its first cell: the positions each input uses, and
// the score of the cells (gaps opened from M or, for D, from I).
struct Walk {
  int first1 = 0, last1 = 0, first2 = 0, last2 = 0;
  double score = 0.0;
};
Walk walk(int n2, const std::vector<float>& s, const DpResult& r, float go, float ge) {
  std::string cells;
  for (char c : r.path)
    if (c != ' ') cells += c;
  cells.pop_back();  // the start
  Walk w;
  int i = r.n1 - 1, j = r.n2 - 1;
  w.first1 = i, w.first2 = j;
  char before = 'M';
  for (auto it = cells.rbegin(); it != cells.rend(); ++it) {
    const char c = *it;
    if (c == 'M') w.score += s[static_cast<std::size_t>((i - 1) * n2 + (j - 1))], ++i, ++j;
    else if (c == 'I') w.score -= before == 'I' ? ge : go, ++i;
    else w.score -= before == 'D' ? ge : go, ++j;
    before = c;
  }
  w.last1 = i - 1, w.last2 = j - 1;
  return w;
}

}  // namespace

TEST(DpEnds, AShortBestStretchStillPlacesTheSequencesEnds) {
  // The best local stretch is sequence 2..3 on parent 4..5; sequence
  // positions 1 and 4 must still be aligned, next to it (each at -1).
  const DpResult r = both(8, 4, scores(8, 4, -1.0f, {{4, 2, 10.0f}, {5, 3, 10.0f}}), kParentEnds);
  EXPECT_EQ(r.path, padded("MMMMM", 13));
  EXPECT_EQ(r.n1 - 1, 3);
  EXPECT_EQ(r.n2 - 1, 1);
  EXPECT_EQ(r.score, 18);
}

TEST(DpEnds, ASequenceLongerThanTheParentHangsOverInGaps) {
  // Parent 1..2 on sequence 3..4; sequence 1..2 and 5 against gaps:
  // 16 - (2 + 0.5) - 2.
  const DpResult r = both(2, 5, scores(2, 5, -1.0f, {{1, 3, 8.0f}, {2, 4, 8.0f}}), kParentEnds, 2.0f, 0.5f);
  EXPECT_EQ(r.path, padded("DMMDDM", 8));
  EXPECT_EQ(r.n1 - 1, 1);  // the first parent residue shown
  EXPECT_EQ(r.n2 - 1, 1);
  EXPECT_EQ(r.score, 11);
  // With nothing to align to, the whole sequence is one gap run.
  const DpResult g = both(0, 3, {}, kParentEnds);
  EXPECT_EQ(g.path, "DDDM");
  EXPECT_EQ(g.score, -21);  // -21.8
  EXPECT_EQ(both(3, 0, {}, kParentEnds).path, "M   ");
}

TEST(DpEnds, EndGapFreeOverlapsTheInputsEnds) {
  // The end of the first input overlaps the start of the second.
  const DpResult r = both(5, 5, scores(5, 5, -3.0f, {{4, 1, 6.0f}, {5, 2, 6.0f}}), kEndGapFree);
  EXPECT_EQ(r.path, padded("MMM", 11));
  EXPECT_EQ(r.n1 - 1, 4);
  EXPECT_EQ(r.n2 - 1, 1);
  EXPECT_EQ(r.score, 12);
}

TEST(DpEnds, AgreesWithFullTablesAndRescoresOnRandomInputs) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> len(0, 30), small(-8, 6);
  std::uniform_real_distribution<float> real(-12.0f, 9.0f);
  for (int round = 0; round < 96; ++round) {
    // Every combination of free ends; the last rounds wider than the
    // aligner's 64-column strips.
    const FreeEnds e{(round & 1) != 0, (round & 2) != 0, (round & 4) != 0, (round & 8) != 0};
    const int n1 = len(rng), n2 = round >= 88 ? 70 + 9 * (round - 88) : len(rng);
    std::vector<float> s(static_cast<std::size_t>(n1 * n2));
    for (float& x : s) x = round % 32 < 16 ? static_cast<float>(small(rng)) * 2.5f : real(rng);
    const float go = round % 3 == 0 ? 3.0f : kGo, ge = round % 3 == 0 ? 0.5f : kGe;
    const DpResult r = both(n1, n2, s, e, go, ge);
    // The path is a valid alignment with the chosen ends, worth its score.
    const Walk w = walk(n2, s, r, go, ge);
    if (!e.first_start) { EXPECT_EQ(w.first1, 1); }
    if (!e.second_start) { EXPECT_EQ(w.first2, 1); }
    if (!e.first_end) { EXPECT_EQ(w.last1, n1); }
    if (!e.second_end) { EXPECT_EQ(w.last2, n2); }
    EXPECT_TRUE(w.last1 == n1 || w.last2 == n2);
    EXPECT_LT(std::abs(r.score - w.score), 1.001) << w.score;
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round << " n1 " << n1 << " n2 " << n2;
      break;
    }
  }
}
