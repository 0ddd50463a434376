// The wall-clock record of a run's phases, which the whole-run benchmark
// reads: every phase once, in run order, then the shutdown.  And the run on
// several threads against the run on one.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "driver/run.hpp"
#include "driver/run_state.hpp"
#include "driver_fixtures.hpp"
#include "testutil.hpp"

namespace {

TEST(RunPhaseTimes, EveryPhaseOnceInRunOrder) {
  xktest::TempDir dir;
  xktest::stage_working_directory(dir);
  xktest::write_file(dir.file("in.fa"), ">one\nMKVLSEGDWQLVNAHPRTYF\n>two\nGHMKVLSEGDWQLVNAHPRTYF\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::ostringstream console;
  std::vector<xk::driver::PhaseTime> times;
  const std::vector<std::string> args{"in.fa", "out.txt", "-r", "1"};
  const int status = xk::driver::run_xkestra(args, console, xk::driver::RunOptions{1, &times});
  std::filesystem::current_path(previous);

  EXPECT_EQ(status, 0);
  std::vector<std::string> names;
  for (const auto& t : times) {
    names.push_back(t.name);
    EXPECT_GE(t.seconds, 0.0) << t.name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"input", "all pairs", "parent profile", "initial MSA", "state model",
                                             "shutdown"}));
}

// Runs xKESTRA in `dir` on `threads` threads; returns the output file and
// the console without its processor-time line.
std::pair<std::string, std::string> run_in(const xktest::TempDir& dir, unsigned threads) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::ostringstream console;
  const std::vector<std::string> args{"in.fa", "out.txt", "-r", "4"};
  const int status = xk::driver::run_xkestra(args, console, xk::driver::RunOptions{threads, nullptr});
  std::filesystem::current_path(previous);
  EXPECT_EQ(status, 0);
  const std::string text = console.str();
  return {xktest::read_file(dir.file("out.txt")), text.substr(0, text.rfind(" Elapsed:"))};
}

TEST(RunThreads, JoinsOnSeveralThreadsWriteWhatOneThreadWrites) {
  // Eight kinases of 150 residues: joins side by side and score tables
  // in more than one band.
  const std::string set = xktest::source_path("../shared/bench/sets/b_pkinase28.fa");
  if (!std::filesystem::exists(set)) GTEST_SKIP() << "no ../shared/bench/sets beside the checkout";
  std::istringstream in(xktest::read_file(set));
  std::string fasta, line;
  int count = 0;
  std::size_t residues = 0;
  while (std::getline(in, line) && count <= 8) {
    if (line.rfind('>', 0) == 0) {
      if (++count > 8) break;
      fasta += line + "\n";
      residues = 0;
    } else if (residues < 150) {
      line = line.substr(0, 150 - residues);
      residues += line.size();
      fasta += line + "\n";
    }
  }
  xktest::TempDir dir;
  for (const char* f : {"xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"})
    std::filesystem::create_symlink(xktest::program(f), dir.file(f));
  xktest::write_file(dir.file("in.fa"), fasta);
  const auto one = run_in(dir, 1);
  const auto three = run_in(dir, 3);
  EXPECT_EQ(three.first, one.first);
  EXPECT_EQ(three.second, one.second);
  EXPECT_NE(one.second.find("...aligning (BAA): "), std::string::npos);
}

}  // namespace
