// The wall-clock record of a run's phases, which the whole-run benchmark
// reads: every phase once, in run order, then the shutdown.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
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
  xk::driver::RunOptions options;
  options.threads = 1;
  options.phase_times = &times;
  const int status = xk::driver::run_xkestra(args, console, options);
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

}  // namespace
