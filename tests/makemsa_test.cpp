// Multiple alignment assembly: hand-worked layouts, the cases the anchor
// walk cannot place, long rows, and the classic anchor-and-walk merge as a
// reference wherever its anchors are sound.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/residues.hpp"
#include "assembly/makemsa.hpp"
#include "assembly/parent_columns.hpp"

using namespace xk;

namespace {

// Residues 1..30 of the parent used by the hand-worked cases.
const std::string kParent = "MKTAYIAKQRQISFVKSHFSRQLEERLGLI";

std::vector<std::string> merged(std::vector<std::string> rows, std::vector<int> first) {
  makemsa(rows, first);
  return rows;
}

std::string letters_of(const std::string& row) {
  std::string s;
  for (char c : row) {
    if (c != '.') s += c;
  }
  return s;
}

}  // namespace

TEST(Makemsa, OneSequenceIsLeftAsItIs) {
  EXPECT_EQ(merged({"MK.TAY", "MKWTAY"}, {1}), (std::vector<std::string>{"MK.TAY", "MKWTAY"}));
  EXPECT_EQ(merged({"MK.TAY", "MKW"}, {1}), (std::vector<std::string>{"MK.TAY", "MKW..."}));
  EXPECT_TRUE(merged({}, {}).empty());
}

TEST(Makemsa, SameStartGapsInDifferentPlaces) {
  // Both stretches start at residue 1; the first has a gap after residue 3,
  // the second two after residue 8: each becomes a gap column of the other.
  auto rows = merged({"MKT.AYIAKQRQI", "MKTWAYLAKQRQI", "MKTAYIAK..QRQI", "MRTAYIAKGGQRQI"}, {1, 1});
  EXPECT_EQ(rows[0], "MKT.AYIAK..QRQI");
  EXPECT_EQ(rows[1], "MKTWAYLAK..QRQI");
  EXPECT_EQ(rows[2], "MKT.AYIAK..QRQI");
  EXPECT_EQ(rows[3], "MRT.AYIAKGGQRQI");
}

TEST(Makemsa, LaterStretchStartingFifteenResiduesEarlier) {
  // Row 1 covers residues 16-27; the second stretch 1-26 with a gap after 5.
  auto rows = merged({"KSHFSRQLEERL", "KSHWSRQLEERL", "MKTAY.IAKQRQISFVKSHFSRQLEER", "MKTAYGIAKQRQISFVKSHFSRQLEER"},
                     {16, 1});
  EXPECT_EQ(rows[0], "MKTAY.IAKQRQISFVKSHFSRQLEERL");          // prefixed with 15 residues and the gap
  EXPECT_EQ(rows[1], std::string(16, '.') + "KSHWSRQLEERL");  // as many "."
  EXPECT_EQ(rows[2], "MKTAY.IAKQRQISFVKSHFSRQLEER.");
  EXPECT_EQ(rows[3], "MKTAYGIAKQRQISFVKSHFSRQLEER.");
}

TEST(Makemsa, LaterStretchStartingInside) {
  auto rows = merged({"MK.TAYIAKQRQISFVKSHFS", "MKWTAYIAKQRQISFVKSHFS", "AYIAKQRQISFVKSHFS", "AYLAKQRQISFVKSHFT"},
                     {1, 4});
  EXPECT_EQ(rows[0], "MK.TAYIAKQRQISFVKSHFS");
  EXPECT_EQ(rows[1], "MKWTAYIAKQRQISFVKSHFS");
  EXPECT_EQ(rows[2], "....AYIAKQRQISFVKSHFS");
  EXPECT_EQ(rows[3], "....AYLAKQRQISFVKSHFT");  // its first residue stands under residue 4 of row 1
}

TEST(Makemsa, LongerAndShorterRows) {
  // Stretch 2 ends after row 1 ends (row 1 and row 2 are extended), stretch
  // 3 ends before (its rows are padded with ".").
  auto rows = merged({"MKTAYIAKQRQI", "MKTAYIAKQRQI", "TAYIAKQRQISFVKSHFS", "TAYIAKQRQISFVKSHFS", "MKTAYIAKQR",
                      "MKTAYIAKQR"},
                     {1, 3, 1});
  EXPECT_EQ(rows[0], "MKTAYIAKQRQISFVKSHFS");
  EXPECT_EQ(rows[1], "MKTAYIAKQRQI........");
  EXPECT_EQ(rows[3], "..TAYIAKQRQISFVKSHFS");
  EXPECT_EQ(rows[5], "MKTAYIAKQR..........");
  for (const auto& r : rows) EXPECT_EQ(r.size(), rows[0].size());
}

TEST(Makemsa, NoAnchorPlacesByResidueNumber) {
  // Row 1 has fewer than ten letters, the stretches share three residues:
  // no ten-letter anchor exists either way.
  auto rows = merged({"MKTAYIAK", "MKTAYLAK", "IA.KQRQISF", "IAWKQRQISF"}, {1, 6});
  EXPECT_EQ(rows[0], "MKTAYIA.KQRQISF");
  EXPECT_EQ(rows[1], "MKTAYLA.K......");
  EXPECT_EQ(rows[2], ".....IA.KQRQISF");
  EXPECT_EQ(rows[3], ".....IAWKQRQISF");
  // Stretches that do not touch: residues 6-9 are in no stretch and get no column.
  rows = merged({"MKTAY", "MKTAY", "RQISF", "RQLSF"}, {1, 10});
  EXPECT_EQ(rows[0], "MKTAYRQISF");
  EXPECT_EQ(rows[1], "MKTAY.....");
  EXPECT_EQ(rows[3], ".....RQLSF");
}

TEST(Makemsa, InternalRepeatPlacesByResidueNumber) {
  // The parent repeats ACDEFGHIKL at residues 1 and 13.  Row 1 covers 13-24;
  // the anchor walk would line it up with the first copy and then meet
  // W against M.
  const std::string second = "ACDEFGHIKLWY";
  auto rows = merged({second, second, "ACDEFGHIKLMN.ACDEFGHIKLWY", "ACDEFGHIKLMNPACDEFGHIKLWY"}, {13, 1});
  EXPECT_EQ(rows[0], "ACDEFGHIKLMN.ACDEFGHIKLWY");
  EXPECT_EQ(rows[1], std::string(13, '.') + second);
  EXPECT_EQ(rows[3], "ACDEFGHIKLMNPACDEFGHIKLWY");
}

TEST(Makemsa, AmbiguousLettersAreResidues) {
  // An "X" in the parent text is a residue with its own number, not a gap.
  auto rows = merged({"MKX.AY", "MKXWAY", "KXAY", "KXAF"}, {1, 2});
  EXPECT_EQ(rows[0], "MKX.AY");
  EXPECT_EQ(rows[3], ".KX.AF");
}

TEST(Makemsa, EmptyAlignmentsBecomeGapRows) {
  auto rows = merged({"", "", "MK.T", "MKWT"}, {0, 1});
  EXPECT_EQ(rows[0], "MK.T");
  EXPECT_EQ(rows[1], "....");
  rows = merged({"", "", "", ""}, {0, 0});
  for (const auto& r : rows) EXPECT_TRUE(r.empty());
}

TEST(Makemsa, RowsGrowPastTenThousandColumns) {
  std::mt19937 rng(7);
  std::string parent(12000, 'A');
  for (char& c : parent) c = kAlphabet[rng() % 20];
  std::string p1 = parent.substr(0, 6000), c1 = p1;
  std::string p2 = parent.substr(2999, 5000) + "." + parent.substr(7999, 4001);  // residues 3000-12000
  std::string c2 = parent.substr(2999, 5000) + "W" + parent.substr(7999, 4001);
  auto rows = merged({p1, c1, p2, c2}, {1, 3000});
  EXPECT_EQ(rows[0].size(), 12001u);
  EXPECT_EQ(letters_of(rows[0]), parent);
  EXPECT_EQ(letters_of(rows[1]), c1);
  EXPECT_EQ(letters_of(rows[3]), c2);
  EXPECT_EQ(rows[3].substr(2999, 5001), c2.substr(0, 5001));
}

namespace {

// ---- The classic anchor-and-walk merge, for comparison -------------------
// Columns are numbered from 1; a column past a row's end reads as a blank.
namespace classic {

char at(const std::string& r, std::size_t c) { return c <= r.size() ? r[c - 1] : ' '; }
void store(std::string& r, std::size_t c, char ch) {
  if (r.size() < c) r.resize(c, ' ');
  r[c - 1] = ch;
}
void insert(std::string& r, std::size_t c, char ch) {
  if (r.size() < c - 1) r.resize(c - 1, ' ');
  r.insert(c - 1, 1, ch);
}
std::string packed(const std::string& r) {
  std::string s;
  for (char c : r) {
    if (c != ' ' && c != '.') s += c;
  }
  return s;
}
std::size_t anchor(const std::string& window, const std::string& row) {
  if (row.size() < 10) return 0;
  for (std::size_t j = 1; j + 9 <= row.size(); ++j) {
    std::size_t c = j, t = 0;
    bool ok = true;
    while (t < 10) {
      const char ch = at(row, c);
      if (ch == '.') {
        ++c;
        continue;
      }
      if (t >= window.size() || ch != window[t]) {
        ok = false;
        break;
      }
      ++t;
      ++c;
    }
    if (ok) {
      while (at(row, j) == '.') ++j;
      return j;
    }
  }
  return 0;
}

// Returns false where the walk cannot go on.
bool merge(std::vector<std::string>& rows) {
  const std::size_t n = rows.size() / 2;
  for (std::size_t k = 2; k <= n; ++k) {
    std::string& R = rows[0];
    std::string& P = rows[2 * k - 2];
    std::string& C = rows[2 * k - 1];
    const std::size_t aP = anchor(packed(R), P);
    const std::size_t aR = anchor(packed(P), R);
    if (aR < aP) {
      for (std::size_t j = 1; j < aP; ++j) insert(R, j, at(P, j));
      for (std::size_t r = 1; r <= 2 * k - 3; ++r) {
        for (std::size_t j = 1; j < aP; ++j) insert(rows[r], 1, '.');
      }
    } else {
      for (std::size_t j = 1; j < aR; ++j) {
        insert(P, 1, '.');
        insert(C, 1, '.');
      }
    }
    std::size_t c = std::max(aP, aR);
    if (c == 0) return false;
    for (std::size_t guard = 0;; ++guard) {
      if (guard > 100000) return false;
      if (!in_alphabet(at(R, c))) {
        if (!in_alphabet(at(P, c))) break;
        store(R, c, at(P, c));
        for (std::size_t r = 1; r <= 2 * k - 3; ++r) store(rows[r], c, '.');
        ++c;
        continue;
      }
      if (!in_alphabet(at(P, c))) {
        store(P, c, '.');
        store(C, c, '.');
        ++c;
        continue;
      }
      const char r = at(R, c), p = at(P, c);
      if (r == p) {
        ++c;
      } else if (!is_residue_letter(r) && is_residue_letter(p)) {
        insert(P, c, '.');
        insert(C, c, '.');
        ++c;
      } else if (is_residue_letter(r) && !is_residue_letter(p)) {
        for (std::size_t q = 0; q <= 2 * k - 3; ++q) insert(rows[q], c, '.');
        ++c;
      } else {
        return false;
      }
    }
  }
  return true;
}

}  // namespace classic

// A random alignment of residues first..last of `parent` against a random
// sequence, as dp yields it: starting and ending with a matched pair.
void add_alignment(std::mt19937& rng, const std::string& parent, int first, int last, std::vector<std::string>& rows) {
  std::string p, c;
  auto letter = [&] { return kAlphabet[rng() % 20]; };
  for (int r = first; r <= last; ++r) {
    const bool inner = r > first && r < last;
    p += parent[static_cast<std::size_t>(r - 1)];
    c += (inner && rng() % 7 == 0) ? '.' : letter();
    if (r < last && rng() % 5 == 0) {
      const int g = 1 + static_cast<int>(rng() % 3);
      p.append(static_cast<std::size_t>(g), '.');
      for (int i = 0; i < g; ++i) c += letter();
    }
  }
  rows.push_back(p);
  rows.push_back(c);
}

}  // namespace

TEST(Makemsa, AgreesWithTheAnchorWalkWhereItsAnchorsHold) {
  std::mt19937 rng(2024);
  int compared = 0;
  for (int trial = 0; trial < 300; ++trial) {
    std::string parent(80, 'A');
    for (char& ch : parent) ch = kAlphabet[rng() % 20];
    std::set<std::string> tens;
    for (std::size_t i = 0; i + 10 <= parent.size(); ++i) tens.insert(parent.substr(i, 10));
    if (tens.size() != parent.size() - 9) continue;  // a repeated 10-mer: anchors not unique

    const int n = 1 + static_cast<int>(rng() % 5);
    std::vector<std::string> rows;
    std::vector<int> first;
    int lo = 0, hi = 0;
    for (int s = 0; s < n; ++s) {
      // Stretches the anchors can line up: the later start lies at least
      // ten residues inside the stretch already merged.
      int a = 0, b = 0;
      for (;;) {
        a = 1 + static_cast<int>(rng() % 60);
        b = a + 9 + static_cast<int>(rng() % 30);
        if (b > 80) continue;
        if (s == 0) break;
        if (a >= lo && a + 9 <= hi) break;
        if (a < lo && b >= lo + 9) break;
      }
      lo = s == 0 ? a : std::min(lo, a);
      hi = s == 0 ? b : std::max(hi, b);
      add_alignment(rng, parent, a, b, rows);
      first.push_back(a);
    }
    std::vector<std::string> expected = rows;
    ASSERT_TRUE(classic::merge(expected)) << "trial " << trial;
    std::vector<std::string> got = rows;
    makemsa(got, first);
    ASSERT_EQ(got, expected) << "trial " << trial;
    for (std::size_t s = 1; s < rows.size(); ++s) EXPECT_EQ(letters_of(got[s]), letters_of(rows[s]));
    ++compared;
  }
  EXPECT_GT(compared, 200);
}

TEST(Makemsa, EveryParentResidueInOneColumnAnyStretches) {
  // Arbitrary stretches of a parent full of repeats: every residue number
  // has one column, every child keeps its letters in order.
  std::mt19937 rng(99);
  for (int trial = 0; trial < 200; ++trial) {
    std::string parent(60, 'A');
    for (char& ch : parent) ch = "ACD"[rng() % 3];
    const int n = 1 + static_cast<int>(rng() % 6);
    std::vector<std::string> rows;
    std::vector<int> first;
    for (int s = 0; s < n; ++s) {
      const int a = 1 + static_cast<int>(rng() % 60);
      const int b = a + static_cast<int>(rng() % static_cast<unsigned>(61 - a));
      add_alignment(rng, parent, a, b, rows);
      first.push_back(a);
    }
    std::vector<std::string> got = rows;
    makemsa(got, first);
    for (const auto& r : got) ASSERT_EQ(r.size(), got[0].size());
    for (std::size_t s = 1; s < rows.size(); ++s) ASSERT_EQ(letters_of(got[s]), letters_of(rows[s]));
    // Row 1 holds every covered residue once, in order.
    std::vector<bool> covered(61, false);
    for (int s = 0; s < n; ++s) {
      const auto len = static_cast<int>(letters_of(rows[2 * static_cast<std::size_t>(s)]).size());
      for (int r = first[static_cast<std::size_t>(s)]; r < first[static_cast<std::size_t>(s)] + len; ++r) {
        covered[static_cast<std::size_t>(r)] = true;
      }
    }
    std::string union_letters;
    for (int r = 1; r <= 60; ++r) {
      if (covered[static_cast<std::size_t>(r)]) union_letters += parent[static_cast<std::size_t>(r - 1)];
    }
    ASSERT_EQ(letters_of(got[0]), union_letters);
    // Residue r of stretch s stands in the column where row 1 holds residue r.
    std::vector<int> column_of(61, -1);
    for (int s = 1; s < n; ++s) {
      int r = first[static_cast<std::size_t>(s)];
      const std::string& p = got[2 * static_cast<std::size_t>(s)];
      for (std::size_t col = 0; col < p.size(); ++col) {
        if (p[col] == '.') continue;
        ASSERT_EQ(got[0][col], parent[static_cast<std::size_t>(r - 1)]);
        if (column_of[static_cast<std::size_t>(r)] < 0) column_of[static_cast<std::size_t>(r)] = static_cast<int>(col);
        ASSERT_EQ(column_of[static_cast<std::size_t>(r)], static_cast<int>(col));
        ++r;
      }
    }
  }
}

// The parent residue of every column, also when sequence 1's stretch is not
// the first (makemsa replaces its parent row by the common one) and when the
// stretches leave parent residues uncovered between them.
TEST(ParentColumns, EveryColumnNamesItsParentResidue) {
  // Sequence 1 covers residues 3-5, sequence 2 residues 1-4 with a gap.
  std::vector<std::string> rows = {"TAY", "TAY", "MK.TA", "MKWTA"};
  const std::vector<int> first = {3, 1};
  makemsa(rows, first);
  EXPECT_EQ(parent_residue_columns(rows, first, 3), (std::vector<int>{1, 2, 0, 3, 4, 5}));

  // Residues 1-2 and 6-7: nothing covers 3-5.
  rows = {"MK", "MK", "IA", "IA"};
  makemsa(rows, std::vector<int>{1, 6});
  EXPECT_EQ(parent_residue_columns(rows, std::vector<int>{1, 6}, 2), (std::vector<int>{1, 2, 6, 7}));
}
