// Merge order of the parent-profile phase: joins, node names, ties, the
// membership rule of node names, and the phase's console lines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <mutex>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/merge_order.hpp"

using namespace xk;

namespace {

// An n x n dist with -1 everywhere, then the given (i, j, value) entries.
std::vector<float> make_dist(int n, std::initializer_list<std::tuple<int, int, float>> entries) {
  std::vector<float> d(static_cast<std::size_t>(n * n), -1.0f);
  for (auto [i, j, v] : entries) d[static_cast<std::size_t>((i - 1) * n + (j - 1))] = v;
  return d;
}

std::vector<std::string> names(const std::vector<Join>& joins) {
  std::vector<std::string> out;
  for (const auto& j : joins) out.push_back(j.joined);
  return out;
}

// Tools that record what they are asked to do; gamma files exist for the
// input sequences and for whatever make_gamma made.
struct FakeTools {
  std::set<std::string> files;
  std::vector<std::string> calls;
  ParentPhaseTools tools() {
    return {[this](const std::string& p) {
              std::lock_guard lock(m);
              return files.count(p) > 0;
            },
            [this](const std::string& drct, const std::string& held_stem) {
              std::lock_guard lock(m);
              held[held_stem] += "gamma " + drct + "\n";
              calls.push_back("gamma " + drct);
              files.insert(drct.substr(0, drct.find('.')) + ".gca");
            },
            [this](const MergeFiles& f, std::ostream& console) {
              std::lock_guard lock(m);
              console << " merging " << f.shown1 << " " << f.shown2 << "\n";
              calls.push_back("baa " + f.profile1 + " " + f.profile2 + " -> " + f.merged);
            },
            [](const std::string& profile) { return 10 + static_cast<int>(profile.size()) * 7; },
            [this](const std::string& held_stem, bool add) {
              std::lock_guard lock(m);
              if (add) log += held[held_stem];
              held.erase(held_stem);
            }};
  }
  std::map<std::string, std::string> held;  // each join's tool output until its turn
  std::string log;                          // the tools' output as passed on
  std::mutex m;
};

}  // namespace

TEST(MergeOrder, NodeMembershipTakesWholeNumbers) {
  EXPECT_TRUE(node_contains("12-3", 12));
  EXPECT_TRUE(node_contains("12-3", 3));
  EXPECT_FALSE(node_contains("12-3", 1));
  EXPECT_FALSE(node_contains("12-3", 2));
  EXPECT_TRUE(node_contains("7", 7));
  EXPECT_FALSE(node_contains("17", 7));
  EXPECT_TRUE(node_contains("2-4-1-3-5", 1));
  EXPECT_FALSE(node_contains("2-4-11-3-5", 1));
}

TEST(MergeOrder, TwoSequencesOneJoin) {
  auto joins = merge_order(2, make_dist(2, {{1, 2, 0.4f}}));
  ASSERT_EQ(joins.size(), 1u);
  EXPECT_EQ(joins[0].p, 1);
  EXPECT_EQ(joins[0].q, 2);
  EXPECT_EQ(joins[0].first, "1");
  EXPECT_EQ(joins[0].second, "2");
  EXPECT_EQ(joins[0].joined, "1-2");
  EXPECT_EQ(parent_files(joins).profile, "j1.drct");
  EXPECT_EQ(parent_files(joins).gamma, "j1.gca");
  EXPECT_EQ(parent_files(joins).shown, "1-2.drct");
}

TEST(MergeOrder, ThreeSequencesTheHigherPairKeepsTheMean) {
  // dist(1,3) largest.  {1,2} above {2,3}: {1,2} keeps the mean, node 1-3-2.
  EXPECT_EQ(names(merge_order(3, make_dist(3, {{1, 2, 0.5f}, {1, 3, 0.9f}, {2, 3, 0.3f}}))),
            (std::vector<std::string>{"1-3", "1-3-2"}));
  // {2,3} above {1,2}: {2,3} keeps it, and the member order follows (2, 3).
  EXPECT_EQ(names(merge_order(3, make_dist(3, {{1, 2, 0.3f}, {1, 3, 0.9f}, {2, 3, 0.5f}}))),
            (std::vector<std::string>{"1-3", "2-1-3"}));
}

TEST(MergeOrder, MeanIsTakenOverTheStoredValues) {
  // After joining 1 and 2, sequence 3's similarity to the group is the mean
  // of 0.6 and 0.2 = 0.4, below dist(3,4) = 0.5: 3 and 4 join next.
  auto joins = merge_order(4, make_dist(4, {{1, 2, 0.9f}, {1, 3, 0.6f}, {2, 3, 0.2f}, {3, 4, 0.5f},
                                            {1, 4, 0.1f}, {2, 4, 0.1f}}));
  EXPECT_EQ(names(joins), (std::vector<std::string>{"1-2", "3-4", "1-2-3-4"}));
  // Each join keeps the similarity it happened at: the last one the mean of
  // 0.4 and 0.1.
  ASSERT_EQ(joins.size(), 3u);
  EXPECT_FLOAT_EQ(joins[0].similarity, 0.9f);
  EXPECT_FLOAT_EQ(joins[1].similarity, 0.5f);
  EXPECT_FLOAT_EQ(joins[2].similarity, 0.25f);
}

TEST(MergeOrder, EqualMaximaTakeTheLowerColumnThenTheLowerRow) {
  auto joins = merge_order(3, make_dist(3, {{1, 2, 0.5f}, {1, 3, 0.5f}, {2, 3, 0.5f}}));
  EXPECT_EQ(joins[0].p, 1);
  EXPECT_EQ(joins[0].q, 2);
  joins = merge_order(3, make_dist(3, {{1, 2, 0.1f}, {1, 3, 0.7f}, {2, 3, 0.7f}}));
  EXPECT_EQ(joins[0].p, 1);
  EXPECT_EQ(joins[0].q, 3);
}

TEST(MergeOrder, TenOrMoreSequencesNamesUseWholeNumbers) {
  // 3 and 12 join first; then 1 and 2 must be their own nodes, although the
  // text "3-12" holds the digits 1 and 2.
  const int n = 12;
  std::vector<float> d(static_cast<std::size_t>(n * n), -1.0f);
  for (int i = 1; i <= n; ++i) {
    for (int j = i + 1; j <= n; ++j) d[static_cast<std::size_t>((i - 1) * n + (j - 1))] = 0.01f;
  }
  d[static_cast<std::size_t>(2 * n + 11)] = 0.9f;  // (3, 12)
  d[static_cast<std::size_t>(0 * n + 1)] = 0.8f;   // (1, 2)
  auto joins = merge_order(n, d);
  ASSERT_GE(joins.size(), 2u);
  EXPECT_EQ(joins[0].joined, "3-12");
  EXPECT_EQ(joins[1].first, "1");
  EXPECT_EQ(joins[1].second, "2");
  EXPECT_EQ(joins[1].joined, "1-2");
}

TEST(MergeOrder, EveryJoinMergesTwoDifferentGroups) {
  // On random similarities the joins build one tree over all sequences:
  // every join takes two disjoint groups, at most n - 1 joins.
  unsigned seed = 5;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<float>((seed >> 8) % 1000) / 1000.0f;
  };
  for (int trial = 0; trial < 50; ++trial) {
    const int n = 2 + trial % 9;
    std::vector<float> d(static_cast<std::size_t>(n * n), -1.0f);
    for (int i = 0; i < n; ++i) {
      for (int j = i + 1; j < n; ++j) d[static_cast<std::size_t>(i * n + j)] = next();
    }
    auto joins = merge_order(n, d);
    // Every sequence ends up in the parent profile: exactly n - 1 joins.
    ASSERT_EQ(joins.size(), static_cast<std::size_t>(n - 1));
    for (const auto& j : joins) {
      for (int k = 1; k <= n; ++k) {
        EXPECT_FALSE(node_contains(j.first, k) && node_contains(j.second, k)) << j.joined;
      }
      EXPECT_TRUE(node_contains(j.first, j.p));
      EXPECT_TRUE(node_contains(j.second, j.q));
    }
  }
}

// Regression: a pair whose members already share a group must not end the
// loop while other groups are still apart (here 2-6 was left out of the
// parent profile).
TEST(MergeOrder, PairInsideOneGroupDoesNotEndTheJoining) {
  auto d = make_dist(6, {{1, 2, 0.0f}, {1, 3, 0.4f}, {1, 4, 0.2f}, {1, 5, 0.5f}, {1, 6, 0.0f},
                         {2, 3, 0.3f}, {2, 4, 0.3f}, {2, 5, 0.1f}, {2, 6, 0.6f}, {3, 4, 0.7f},
                         {3, 5, 0.2f}, {3, 6, 0.0f}, {4, 5, 0.7f}, {4, 6, 0.4f}, {5, 6, 0.5f}});
  auto joins = merge_order(6, d);
  ASSERT_EQ(joins.size(), 5u);
  EXPECT_EQ(names(joins).front(), "3-4");
  const std::string& last = joins.back().joined;
  for (int k = 1; k <= 6; ++k) EXPECT_TRUE(node_contains(last, k)) << last;
}

TEST(MergeOrder, NoJoinMeansTheFirstSequenceIsTheParent) {
  EXPECT_TRUE(merge_order(1, std::vector<float>{-1.0f}).empty());
  EXPECT_EQ(parent_files({}).profile, "1.drct");
  EXPECT_EQ(parent_files({}).gamma, "1.gca");
  EXPECT_EQ(parent_files({}).shown, "1.drct");
  EXPECT_TRUE(merge_order(3, make_dist(3, {})).empty());  // every pair empty
}

TEST(MergeOrder, AnUndefinedSimilarityIsRefused) {
  auto d = make_dist(3, {{1, 2, 0.5f}, {1, 3, std::numeric_limits<float>::quiet_NaN()}, {2, 3, 0.1f}});
  EXPECT_DEBUG_DEATH(merge_order(3, d), "undefined similarity");
}

TEST(ParentPhase, ConsoleLinesAndGammaFilesOnDemand) {
  FakeTools fake;
  fake.files = {"1.gca", "2.gca", "3.gca"};
  std::ostringstream console;
  auto parent = run_parent_phase(3, make_dist(3, {{1, 2, 0.5f}, {1, 3, 0.9f}, {2, 3, 0.3f}}), fake.tools(), console);
  EXPECT_EQ(console.str(),
            " ...generating the parent profile using TESSERA-D(BAA)\n"
            " 1.gca existed\n"
            " 3.gca existed\n"
            " merging 1.drct 3.drct\n"
            " ...making 1-3.gca\n"
            " 2.gca existed\n"
            " merging 1-3.drct 2.drct\n");
  EXPECT_EQ(fake.calls, (std::vector<std::string>{"baa 1.drct 3.drct -> j1.drct", "gamma j1.drct",
                                                  "baa j1.drct 2.drct -> j2.drct"}));
  EXPECT_EQ(parent.profile, "j2.drct");
  EXPECT_EQ(parent.gamma, "j2.gca");
  EXPECT_EQ(parent.shown, "1-3-2.drct");
}

TEST(ParentPhase, JoinsOnManyThreadsWriteWhatOneThreadWrites) {
  // 300 sequences in pairs of neighbours, then pairs of pairs: a wide tree
  // with long node names (no cut) and short file names.
  const int n = 300;
  std::vector<float> d(static_cast<std::size_t>(n * n), -1.0f);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j)
      d[static_cast<std::size_t>((i - 1) * n + (j - 1))] = 1.0f / static_cast<float>(j - i + (i % 7));
  auto run = [&](unsigned threads, FakeTools& fake) {
    for (int k = 1; k <= n; ++k) fake.files.insert(std::to_string(k) + ".gca");
    std::ostringstream console;
    auto parent = run_parent_phase(n, d, fake.tools(), console, threads);
    return std::pair{console.str(), parent};
  };
  FakeTools one, many;
  const auto [console1, parent1] = run(1, one);
  const auto [console4, parent4] = run(4, many);
  EXPECT_EQ(console1, console4);
  EXPECT_EQ(one.log, many.log);  // the tools' output in join order
  EXPECT_TRUE(many.held.empty());
  EXPECT_EQ(parent1.profile, "j299.drct");
  EXPECT_EQ(parent4.profile, "j299.drct");
  EXPECT_GT(parent1.shown.size(), 1000u);  // every member named, no cut
  for (int k = 1; k <= n; ++k) EXPECT_TRUE(node_contains(parent1.shown.substr(0, parent1.shown.size() - 5), k));
  std::multiset<std::string> calls1(one.calls.begin(), one.calls.end()), calls4(many.calls.begin(), many.calls.end());
  EXPECT_EQ(calls1, calls4);
  for (const std::string& c : one.calls) EXPECT_LT(c.size(), 40u) << c;
}

TEST(ParentPhase, AFailedJoinEndsThePhaseAfterTheJoinsBeforeIt) {
  const int n = 40;
  std::vector<float> d(static_cast<std::size_t>(n * n), -1.0f);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) d[static_cast<std::size_t>((i - 1) * n + (j - 1))] = 1.0f / static_cast<float>(j - i);
  FakeTools whole;
  for (int k = 1; k <= n; ++k) whole.files.insert(std::to_string(k) + ".gca");
  std::ostringstream full;
  run_parent_phase(n, d, whole.tools(), full, 1);
  // What one thread writes up to the failed merge of the fifth join.
  std::size_t cut = 0;
  for (int k = 0; k < 5; ++k) cut = full.str().find(" merging", cut + 1);
  const std::string expected = full.str().substr(0, cut);
  for (unsigned threads : {1u, 3u}) {
    FakeTools fake;
    for (int k = 1; k <= n; ++k) fake.files.insert(std::to_string(k) + ".gca");
    ParentPhaseTools tools = fake.tools();
    auto merge = tools.merge;
    tools.merge = [merge](const MergeFiles& f, std::ostream& console) {
      if (f.merged == "j5.drct") throw std::runtime_error("tool failed");
      merge(f, console);
    };
    std::ostringstream console;
    EXPECT_THROW(run_parent_phase(n, d, tools, console, threads), std::runtime_error);
    EXPECT_EQ(console.str(), expected) << threads;
  }
}

TEST(ParentPhase, AFailedGammaToolOfTheFirstMemberDropsTheSecondMembersOutput) {
  // Pairs of neighbours, then pairs of pairs: joins whose two members are
  // both merged nodes, whose gamma tools run side by side on many threads.
  const int n = 16;
  std::vector<float> d(static_cast<std::size_t>(n * n), -1.0f);
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j)
      d[static_cast<std::size_t>((i - 1) * n + (j - 1))] = 1.0f / static_cast<float>(j - i + (i % 2 == 0 ? 8 : 0));
  std::vector<Join> joins;
  {
    FakeTools probe;
    for (int k = 1; k <= n; ++k) probe.files.insert(std::to_string(k) + ".gca");
    std::ostringstream console;
    run_parent_phase(n, d, probe.tools(), console, 1, &joins);
  }
  const auto both = std::find_if(joins.begin(), joins.end(), [](const Join& j) { return j.first_join >= 0 && j.second_join >= 0; });
  ASSERT_NE(both, joins.end());
  const std::string failing = both->first_stem + ".drct";
  auto run = [&](unsigned threads, std::string& console_text) {
    FakeTools fake;
    for (int k = 1; k <= n; ++k) fake.files.insert(std::to_string(k) + ".gca");
    ParentPhaseTools tools = fake.tools();
    auto make_gamma = tools.make_gamma;
    tools.make_gamma = [make_gamma, failing](const std::string& drct, const std::string& held) {
      make_gamma(drct, held);  // its output is held, as a failing tool's would be
      if (drct == failing) throw std::runtime_error("gamma tool failed");
    };
    std::ostringstream console;
    EXPECT_THROW(run_parent_phase(n, d, tools, console, threads), std::runtime_error);
    console_text = console.str();
    EXPECT_TRUE(fake.held.empty()) << threads;
    return fake.log;
  };
  std::string console1, console4;
  const std::string log1 = run(1, console1), log4 = run(4, console4);
  EXPECT_EQ(log4, log1);
  EXPECT_EQ(console4, console1);
  EXPECT_EQ(log1.find(both->second_stem + ".drct"), std::string::npos);  // the second member's tool never ran
}

TEST(ParentPhase, OneSequenceUsesItsOwnProfile) {
  FakeTools fake;
  fake.files = {"1.gca"};
  std::ostringstream console;
  auto parent = run_parent_phase(1, std::vector<float>{-1.0f}, fake.tools(), console);
  EXPECT_EQ(console.str(), " ...generating the parent profile using TESSERA-D(BAA)\n");
  EXPECT_TRUE(fake.calls.empty());
  EXPECT_EQ(parent.profile, "1.drct");
  EXPECT_EQ(parent.gamma, "1.gca");
}
