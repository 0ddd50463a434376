// The accurate mode's alignment rules: the best-supported path of a join,
// the progressive merge of two groups along it, the sum-of-pairs objective,
// the parent profile of an alignment, and the refinement loop's stops.
#include <gtest/gtest.h>

#include <numeric>

#include "accurate/alignment_profile.hpp"
#include "accurate/progressive.hpp"
#include "accurate/refinement.hpp"
#include "blockalign/support_path.hpp"

using namespace xk::accurate;

namespace {

// 1 for equal residue letters, 0 otherwise.
PairTable identity_table() {
  PairTable t{};
  for (std::size_t a = 0; a < 20; ++a) t[a * 20 + a] = 1.0f;
  return t;
}

}  // namespace

TEST(AccurateObjective, SumOfPairsCountsInnerGapRunsOnly) {
  const PairTable t = identity_table();
  // Three identities and one inner gap run of two (10 + 1).
  EXPECT_DOUBLE_EQ(sum_of_pairs(std::vector<std::string>{"AC..DE", "ACWWDF"}, t, 10.0f, 1.0f), 3.0f - 11.0f);
  // End overhangs are free, on either side; an ambiguous letter scores 0;
  // columns empty in both rows are skipped.
  EXPECT_DOUBLE_EQ(sum_of_pairs(std::vector<std::string>{"..CDX..", "ACC.XGH"}, t, 10.0f, 1.0f), 1.0f - 10.0f);
  EXPECT_DOUBLE_EQ(sum_of_pairs(std::vector<std::string>{"A.C", "A.C"}, t, 10.0f, 1.0f), 2.0f);
  // Gaps switching from one row to the other open a new run; three rows
  // sum their three pairs.
  EXPECT_DOUBLE_EQ(sum_of_pairs(std::vector<std::string>{"A.CD", "AW.D"}, t, 10.0f, 1.0f), 2.0f - 20.0f);
  EXPECT_DOUBLE_EQ(sum_of_pairs(std::vector<std::string>{"AC", "AC", "AD"}, t, 10.0f, 1.0f), 2.0f + 1.0f + 1.0f);
}

TEST(AccurateProfile, HalfFilledColumnsWithWeightedFrequencies) {
  // Two equal rows and one different: per column A and D share 1/2 each,
  // the A rows 1/4 each; the lone W adds 1 to its row.  Sums 1/2, 1/2, 2, 0.
  const std::vector<std::string> rows = {"AC.", "AC.", "DEW", "...."};
  const std::vector<double> w = sequence_weights(rows);
  ASSERT_EQ(w.size(), 4u);
  EXPECT_NEAR(std::accumulate(w.begin(), w.end(), 0.0), 1.0, 1e-12);
  EXPECT_NEAR(w[0], 1.0 / 6.0, 1e-12);
  EXPECT_NEAR(w[2], 2.0 / 3.0, 1e-12);
  EXPECT_EQ(w[3], 0.0);
  // Columns 1 and 2 hold letters in 3 of 4 rows; column 3 in 1 of 4.
  const std::vector<double> p = column_profile(rows, w);
  ASSERT_EQ(p.size(), 40u);
  EXPECT_NEAR(p[0], 1.0 / 3.0, 1e-12);       // A in column 1
  EXPECT_NEAR(p[2], 2.0 / 3.0, 1e-12);       // D in column 1
  EXPECT_NEAR(p[20 + 1], 1.0 / 3.0, 1e-12);  // C in column 2
  EXPECT_NEAR(p[20 + 3], 2.0 / 3.0, 1e-12);  // E in column 2
  // An all-ambiguous column is uniform.
  const std::vector<double> x = column_profile(std::vector<std::string>{"X", "X"}, std::vector<double>{0.5, 0.5});
  ASSERT_EQ(x.size(), 20u);
  EXPECT_DOUBLE_EQ(x[7], 0.05);
}

TEST(AccurateRefinement, StopsAtAFixedPointAtAFallOrAfterTheRounds) {
  const std::vector<std::string> start = {"AC.D", "ACWD"};
  int kept = 0;
  RefinementSteps steps;
  steps.keep = [&](const Candidate&, int, double) { ++kept; };

  // A realignment that only adds an empty column changes nothing.
  steps.objective = [](const std::vector<std::string>& a) { return static_cast<double>(a[0].size()); };
  steps.realign = [](const std::vector<std::string>& a, int) {
    return Candidate{{a[0] + ".", a[1] + "."}, ""};
  };
  Refinement r = refine(start, 5, steps);
  EXPECT_EQ(r.end, RefinementEnd::fixed_point);
  EXPECT_EQ(r.iterations, 1);
  EXPECT_EQ(r.rows, start);
  EXPECT_EQ(kept, 0);

  // Each round moves one residue and scores higher: all rounds are kept,
  // numbered from 2.
  std::vector<int> numbers;
  steps.objective = [](const std::vector<std::string>& a) {
    return static_cast<double>(std::count(a[0].begin(), a[0].end(), '.'));
  };
  steps.realign = [&](const std::vector<std::string>& a, int iteration) {
    numbers.push_back(iteration);
    return Candidate{{"." + a[0], a[1] + "."}, ""};
  };
  r = refine(start, 3, steps);
  EXPECT_EQ(r.end, RefinementEnd::rounds);
  EXPECT_EQ(r.iterations, 4);
  EXPECT_EQ(kept, 3);
  EXPECT_EQ(numbers, (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(r.rows[0], "...AC.D");
  EXPECT_EQ(r.objective, 4.0);
  EXPECT_EQ(refine(start, 0, steps).iterations, 1);  // no rounds allowed

  // A round that scores lower is dropped: the start is kept and never
  // scores below itself.
  kept = 0;
  steps.objective = [](const std::vector<std::string>& a) { return -static_cast<double>(a[0].size()); };
  r = refine(start, 5, steps);
  EXPECT_EQ(r.end, RefinementEnd::fell);
  EXPECT_EQ(r.rows, start);
  EXPECT_EQ(r.objective, -4.0);
  EXPECT_EQ(kept, 0);
}

TEST(JoinPath, HighestSummedFrequenciesOverPositivePairsOnly) {
  // Worked by hand: (1,1) + (3,3) = 1.3 beats (2,1) + (3,3) = 1.2 and
  // (1,1) + (2,3) = 1.0; the zero entries are never matched.
  const std::vector<float> match{0.6f, 0.3f, 0.0f,  //
                                 0.5f, 0.0f, 0.4f,  //
                                 0.0f, 0.2f, 0.7f};
  EXPECT_EQ(xk::best_supported_path(3, 3, match), (xk::MatchPath{{1, 1}, {3, 3}}));
  // Equal sums: the traceback from the end keeps the later pair.
  EXPECT_EQ(xk::best_supported_path(1, 2, std::vector<float>{0.5f, 0.5f}), (xk::MatchPath{{1, 2}}));
  EXPECT_TRUE(xk::best_supported_path(2, 2, std::vector<float>(4, 0.0f)).empty());
  EXPECT_TRUE(xk::best_supported_path(0, 3, {}).empty());
}

TEST(ProgressiveJoin, MergesTwoGroupsAlongThePathKeepingTheirColumns) {
  // First group: sequences 3 and 1, its profile positions on columns 0, 1
  // and 3 (column 2 is an insertion of sequence 1); second: sequence 2.
  GroupAlignment first{{3, 1}, {"AC.D", "AGED"}, {0, 1, 3}};
  const GroupAlignment second = sequence_alignment(2, "CWD");
  const GroupAlignment g = join_groups(first, second, {{2, 1}, {3, 3}});
  // Worked by hand: A before the first pair, the pair C/G with C, then the
  // first group's insertion and the second's W, each in its own column.
  EXPECT_EQ(g.members, (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(g.rows, (std::vector<std::string>{"AC..D", "AGE.D", ".C.WD"}));
  EXPECT_EQ(g.position_column, (std::vector<int>{0, 1, 4}));  // the first is the longer (on equal lengths)
  EXPECT_EQ(rows_in_sequence_order(g), (std::vector<std::string>{"AGE.D", ".C.WD", "AC..D"}));

  // A longer second group lends its positions to the node.
  const GroupAlignment h = join_groups(sequence_alignment(1, "AC"), sequence_alignment(2, "GAC"), {{1, 2}, {2, 3}});
  EXPECT_EQ(h.rows, (std::vector<std::string>{".AC", "GAC"}));
  EXPECT_EQ(h.position_column, (std::vector<int>{0, 1, 2}));
  // No pair at all: the first group's columns, then the second's.
  EXPECT_EQ(join_groups(sequence_alignment(1, "AC"), sequence_alignment(2, "G"), {}).rows,
            (std::vector<std::string>{"AC.", "..G"}));
}
