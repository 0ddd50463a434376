// The state model: parent selection, transition and emission counts, and
// the report byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "assembly/makemsa.hpp"
#include "driver/state_model.hpp"

using namespace xk;

namespace {

std::string values(std::initializer_list<const char*> v) {
  std::string s;
  for (const char* x : v) s += x;
  return s + "\n";
}

// An emission line: 1.00 at one letter (or the given pairs), 0.00 elsewhere.
std::string emission(std::initializer_list<std::pair<char, const char*>> at) {
  const std::string letters = "ACDEFGHIKLMNPQRSTVWY";
  std::string s;
  for (char c : letters) {
    const char* v = " 0.00";
    for (auto [l, x] : at) {
      if (l == c) v = x;
    }
    s += v;
  }
  return s + "\n";
}

void expect_sums_to_one(const StateModel& m) {
  for (State x : {State::M, State::D, State::L}) {
    float t = m.at(State::M, x, 1) + m.at(State::D, x, 1);
    EXPECT_TRUE(t == 0.0f || std::fabs(t - 1.0f) < 1e-5f);
    for (int k = 2; k <= m.nstates + 1; ++k) {
      t = m.at(State::M, x, k) + m.at(State::D, x, k) + m.at(State::L, x, k - 1);
      EXPECT_TRUE(t == 0.0f || std::fabs(t - 1.0f) < 1e-5f) << "from " << static_cast<int>(x) << " at " << k;
    }
    EXPECT_EQ(m.at(State::L, x, m.nstates + 1), 0.0f);
  }
  for (int k = 0; k < m.nstates; ++k) {
    float t = 0.0f;
    for (int a = 0; a < 20; ++a) t += m.emit[static_cast<std::size_t>(k * 20 + a)];
    EXPECT_NEAR(t, 1.0f, 1e-5f);
  }
}

}  // namespace

TEST(SelectParent, LargestTotalEqualTotalsGoToTheLaterSequence) {
  // Totals: 1 -> 15, 2 -> 15, 3 -> 10.
  std::vector<float> s = {0, 10, 5, 0, 0, 5, 0, 0, 0};
  EXPECT_EQ(select_parent(3, s), 2);
  // Totals: 1 -> 30, 2 -> 25, 3 -> 15.
  s = {0, 20, 10, 0, 0, 5, 0, 0, 0};
  EXPECT_EQ(select_parent(3, s), 1);
  EXPECT_EQ(select_parent(1, std::vector<float>{0.0f}), 1);
  // All totals zero: the last sequence.
  EXPECT_EQ(select_parent(3, std::vector<float>(9, 0.0f)), 3);
  // No total reaches 0: the largest, ties to the later one.
  s = {0, -4, -6, 0, 0, -8, 0, 0, 0};  // totals -10, -12, -14
  EXPECT_EQ(select_parent(3, s), 1);
}

TEST(StateModel, TwoSequencesEveryUsedGroupIsCertain) {
  std::vector<std::string> rows = {"ACD.E", "A.DKE"};
  StateModel m = build_state_model(rows, 1);
  EXPECT_EQ(m.nstates, 4);
  std::ostringstream out;
  write_state_model(out, m);
  const char* z = " 0.00";
  const char* o = " 1.00";
  EXPECT_EQ(out.str(), " M state:\n" + values({o, z, z, z, o}) + values({z, z, o, z, z}) + values({z, z, z, o, z}) +
                           "\n D state:\n" + values({z, o, z, z, z}) + values({z, z, z, z, z}) +
                           values({z, z, z, z, z}) + "\n L state:\n" + values({z, z, o, z, z}) +
                           values({z, z, z, z, z}) + values({z, z, z, z, z}) + "\n Emission probabilities:\n" +
                           emission({{'A', o}}) + emission({{'C', o}}) + emission({{'D', o}}) + emission({{'E', o}}));
}

TEST(StateModel, DeletionThenInsertionsAndARowEndingInAnInsertion) {
  // Selected row 2.  Row 1: deletion, two insertions (D->L, L->L), a match
  // from L, and a last column that is an insertion (end counted from L).
  // Row 3: an insertion after a match, then a deletion before the end.
  // Columns before the selected row's first residue are not counted.
  std::vector<std::string> rows = {"MA.KKKEG", ".AC..DE.", "-ACW.D.."};
  StateModel m = build_state_model(rows, 2);
  ASSERT_EQ(m.nstates, 4);
  expect_sums_to_one(m);
  std::ostringstream out;
  write_state_model(out, m);
  const char* z = " 0.00";
  const char* o = " 1.00";
  const char* h = " 0.50";
  EXPECT_EQ(out.str(), " M state:\n" + values({o, h, z, h, z}) + values({z, z, z, z, o}) +
                           values({z, z, " 0.67", z, o}) + "\n D state:\n" + values({z, h, z, h, z}) +
                           values({z, z, z, z, z}) + values({z, z, z, z, z}) + "\n L state:\n" +
                           values({z, o, z, o, z}) + values({z, o, z, z, z}) + values({z, " 0.33", z, z, z}) +
                           "\n Emission probabilities:\n" + emission({{'A', o}}) + emission({{'C', o}}) +
                           emission({{'D', " 0.67"}, {'K', " 0.33"}}) + emission({{'E', o}}));
}

TEST(StateModel, AmbiguousLettersAreNoStates) {
  // An X in the selected row is no state column; an X in another row
  // emits nothing.
  std::vector<std::string> rows = {"AXC", "AXD", "AKX"};
  StateModel m = build_state_model(rows, 1);
  EXPECT_EQ(m.nstates, 2);
  expect_sums_to_one(m);
  EXPECT_FLOAT_EQ(m.emit[0 * 20 + 0], 1.0f);  // A
  EXPECT_FLOAT_EQ(m.emit[1 * 20 + 1], 0.5f);  // C
  EXPECT_FLOAT_EQ(m.emit[1 * 20 + 2], 0.5f);  // D
}

TEST(StateModel, SelectedRowWithoutResidues) {
  std::vector<std::string> rows = {"...", "ACD"};
  StateModel m = build_state_model(rows, 1);
  EXPECT_EQ(m.nstates, 0);
  std::ostringstream out;
  write_state_model(out, m);
  EXPECT_EQ(out.str(), " M state:\n 0.00\n 0.00\n 0.00\n\n D state:\n 0.00\n 0.00\n 0.00\n\n"
                       " L state:\n 0.00\n 0.00\n 0.00\n\n Emission probabilities:\n");
}

TEST(StateModel, GroupsAndEmissionRowsSumToOneOnAssembledAlignments) {
  std::mt19937 rng(11);
  const std::string letters = "ACDEFGHIKLMNPQRSTVWY";
  for (int trial = 0; trial < 40; ++trial) {
    std::string parent(50, 'A');
    for (char& c : parent) c = letters[rng() % 20];
    const int n = 2 + static_cast<int>(rng() % 6);
    std::vector<std::string> seqpair;
    std::vector<int> first;
    for (int s = 0; s < n; ++s) {
      const int a = 1 + static_cast<int>(rng() % 20);
      const int b = a + 5 + static_cast<int>(rng() % 25);
      std::string p, c;
      for (int r = a; r <= b; ++r) {
        p += parent[static_cast<std::size_t>(r - 1)];
        c += (r > a && r < b && rng() % 6 == 0) ? '.' : letters[rng() % 20];
        if (r < b && rng() % 6 == 0) {
          p += '.';
          c += letters[rng() % 20];
        }
      }
      seqpair.push_back(p);
      seqpair.push_back(c);
      first.push_back(a);
    }
    makemsa(seqpair, first);
    std::vector<std::string> rows;
    for (int s = 0; s < n; ++s) rows.push_back(seqpair[static_cast<std::size_t>(2 * s + 1)]);
    const int selected = 1 + static_cast<int>(rng() % static_cast<unsigned>(n));
    StateModel m = build_state_model(rows, selected);
    expect_sums_to_one(m);
  }
}

TEST(StateModelPhase, ConsoleLines) {
  std::vector<std::string> ids = {"alpha        ", "beta         "};
  std::vector<float> aliscore = {0, 7, 0, 0};
  std::vector<std::string> rows = {"ACD.E", "A.DKE"};
  std::ostringstream console, out;
  StateModel m = run_state_model_phase(console, out, ids, aliscore, rows);
  EXPECT_EQ(console.str(), " beta has been selected as the parent sequence\n\n ...define 4 states\n\n");
  EXPECT_EQ(m.nstates, 4);
  EXPECT_EQ(out.str().substr(0, 10), " M state:\n");
}
