#include "driver/all_pairs.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "common/ending.hpp"
#include "driver/ordered_pool.hpp"
#include "driver/run_state.hpp"
#include "driver_fixtures.hpp"
#include "readers/gamma.hpp"

namespace {

using xk::driver::ordered_run;

// Jobs that finish out of order; the results must still come in order.
void check_order(unsigned threads) {
  std::vector<int> begun, consumed;
  ordered_run<int>(
      40, threads,
      [](std::size_t i) {
        if (i % 7 == 0) ::usleep(2000);
        return static_cast<int>(i * i);
      },
      [&](std::size_t i) { begun.push_back(static_cast<int>(i)); },
      [&](std::size_t i, int v) {
        EXPECT_EQ(begun.size(), i + 1);
        EXPECT_EQ(v, static_cast<int>(i * i));
        consumed.push_back(static_cast<int>(i));
      },
      4);
  ASSERT_EQ(consumed.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(consumed[static_cast<std::size_t>(i)], i);
}

TEST(OrderedRun, ResultsComeInJobOrder) {
  check_order(1);
  check_order(3);
}

TEST(OrderedRun, FailedJobStopsAfterEarlierResults) {
  for (unsigned threads : {1u, 4u}) {
    std::vector<std::size_t> begun, consumed;
    EXPECT_THROW(ordered_run<int>(
                     100, threads,
                     [](std::size_t i) -> int {
                       if (i == 5 || i == 9) throw std::runtime_error("job " + std::to_string(i));
                       return 0;
                     },
                     [&](std::size_t i) { begun.push_back(i); },
                     [&](std::size_t i, int) { consumed.push_back(i); }),
                 std::runtime_error);
    EXPECT_EQ(begun.size(), 6u);
    EXPECT_EQ(consumed, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
  }
}

TEST(OrderedRun, ConsumerFailureStopsWorkers) {
  EXPECT_THROW(ordered_run<int>(
                   1000, 3, [](std::size_t) { return 1; }, [](std::size_t) {},
                   [](std::size_t i, int) {
                     if (i == 10) throw std::runtime_error("write failed");
                   }),
               std::runtime_error);
}

TEST(GammaCache, ReadsEachFileOnceAndRetriesFailures) {
  xktest::TempDir dir;
  const std::string line = xktest::uniform_gamma_line();
  xktest::write_file(dir.file("1.gca"), line + "\n" + line + "\n");
  xk::driver::GammaCache cache({dir.file("1.gca"), dir.file("2.gca")}, {2, 3});
  const auto first = cache.get(1);
  EXPECT_EQ(first.size(), 2u * 282u);
  EXPECT_EQ(std::vector<float>(first.begin(), first.end()), xk::readgamma(dir.file("1.gca"), 2));
  xktest::write_file(dir.file("1.gca"), "");  // not read again
  EXPECT_EQ(cache.get(1).data(), first.data());
  EXPECT_FLOAT_EQ(cache.get(1)[281], 0.003546f);
  EXPECT_THROW(cache.get(2), xk::IoError);
  xktest::write_file(dir.file("2.gca"), line + "\n");
  EXPECT_THROW(cache.get(2), xk::IoError);  // one GAMMA line for three positions: damaged
  xktest::write_file(dir.file("2.gca"), line + "\n" + line + "\n" + line + "\n");
  const auto second = cache.get(2);  // a later call tries again
  ASSERT_EQ(second.size(), 3u * 282u);
  EXPECT_FLOAT_EQ(second[2 * 282], 0.003546f);
}

// Changes the working directory for the life of the object.
class InDirectory {
 public:
  explicit InDirectory(const std::filesystem::path& p) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(p);
  }
  ~InDirectory() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

struct PhaseOutput {
  std::string out, console;
  std::vector<float> dist, aliscore;
};

PhaseOutput run_phase(const std::vector<std::string>& seqs, unsigned threads) {
  xktest::TempDir dir;
  xktest::write_file(dir.file("observed"), xktest::diagonal_observed());
  xktest::write_file(dir.file("expected"), xktest::flat_expected());
  for (std::size_t k = 1; k <= seqs.size(); ++k) {
    std::string g;
    for (std::size_t p = 0; p < seqs[k - 1].size(); ++p) g += xktest::uniform_gamma_line() + "\n";
    xktest::write_file(dir.file(std::to_string(k) + ".gca"), g);
  }
  InDirectory in(dir.path());
  std::ostringstream out, console;
  xk::driver::Settings settings;
  settings.output = "out.txt";
  xk::driver::RunState st(settings, console, out);
  st.threads = threads;
  for (std::size_t k = 0; k < seqs.size(); ++k) {
    st.seqID.push_back("s" + std::to_string(k + 1));
    st.seqchar.push_back(seqs[k]);
  }
  xk::driver::all_pairs_phase(st);
  EXPECT_TRUE(st.seqchar.empty());
  PhaseOutput r{out.str(), console.str(), {}, {}};
  const int n = st.n();
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      r.dist.push_back(st.dist(i, j));
      r.aliscore.push_back(st.aliscore(i, j));
    }
  return r;
}

TEST(AllPairsPhase, SameOutputOnAnyThreadCount) {
  const std::vector<std::string> seqs = {"MKVLSEGDWQLVNAHPRTYF", "GHMKVLSEGDWQCLVNAHPR", "WQLVNAH",
                                         "CICI", "TYFICDG", "MKVLSEG"};
  const PhaseOutput one = run_phase(seqs, 1), four = run_phase(seqs, 4);
  EXPECT_EQ(one.out, four.out);
  EXPECT_EQ(one.console, four.console);
  EXPECT_EQ(one.dist, four.dist);
  EXPECT_EQ(one.aliscore, four.aliscore);
  std::size_t reports = 0;
  for (auto p = one.out.find("Initial pairwise alignment: "); p != std::string::npos;
       p = one.out.find("Initial pairwise alignment: ", p + 1))
    ++reports;
  EXPECT_EQ(reports, 15u);
  // dist: -1 on and below the diagonal; aliscore 0 there.
  const int n = 6;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) {
      EXPECT_EQ(one.dist[static_cast<std::size_t>(i * n + j)], -1.0f);
      EXPECT_EQ(one.aliscore[static_cast<std::size_t>(i * n + j)], 0.0f);
    }
  // (1,3): WQLVNAH is inside sequence 1: 7 identical pairs of 8.64 each.
  EXPECT_EQ(one.aliscore[0 * n + 2], 60.0f);
  EXPECT_FLOAT_EQ(one.dist[0 * n + 2], 1.0f);
  // (1,4): nothing in common: score 0, fraction 0.
  EXPECT_EQ(one.aliscore[0 * n + 3], 0.0f);
  EXPECT_EQ(one.dist[0 * n + 3], 0.0f);
}

TEST(AllPairsPhase, OneSequenceHasNoPairs) {
  const PhaseOutput r = run_phase({"MKV"}, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.console, " ...performing all possible pairwise alignments based on TESSERA-D(DP)\n\n");
  EXPECT_EQ(r.dist, std::vector<float>{-1.0f});
}

TEST(AllPairsPhase, ShiftIsAddedToTheDoubledScores) {
  // A shift of 120 makes every mismatch (about -111) positive, so the whole
  // of two unrelated 4-residue sequences aligns.
  xktest::TempDir dir;
  xktest::write_file(dir.file("observed"), xktest::diagonal_observed());
  xktest::write_file(dir.file("expected"), xktest::flat_expected());
  xk::FrequencyTables f;
  {
    InDirectory in(dir.path());
    f = xk::load_frequency_tables();
  }
  const auto tables = xk::prepare_tables(f);
  std::vector<float> g(4 * 282, 0.003546f);
  const auto none = xk::driver::align_pair(tables, "1.gca", "2.gca", "ACDE", "FGHI", g, g, 0.0f, 21.0f, 0.4f);
  EXPECT_EQ(none.score, 0);
  EXPECT_EQ(none.report, "Initial pairwise alignment: 1.gca, 2.gca\n\n");
  const auto all = xk::driver::align_pair(tables, "1.gca", "2.gca", "ACDE", "FGHI", g, g, 120.0f, 21.0f, 0.4f);
  EXPECT_GT(all.score, 0);
  EXPECT_EQ(all.report,
            "Initial pairwise alignment: 1.gca, 2.gca\n"
            "QUERY           1   ACDE      4\n"
            "TARGET          1   FGHI      4\n"
            "\n\n");
  EXPECT_EQ(all.fraction, 0.0f);
}

}  // namespace
