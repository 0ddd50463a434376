// xKESTRA as it meets its surroundings: several runs in one working
// directory, interrupts, the memory limit, the tools and data found beside
// the program, the conventional options.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/ending.hpp"
#include "common/interrupt.hpp"
#include "driver/external_tools.hpp"
#include "driver_fixtures.hpp"
#include "testutil.hpp"

namespace {

namespace fs = std::filesystem;
using xktest::read_file;
using xktest::write_file;

std::string random_protein(std::mt19937& rng, std::size_t length) {
  static const std::string kLetters = "ACDEFGHIKLMNPQRSTVWY";
  std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
  std::string s;
  for (std::size_t i = 0; i < length; ++i) s += kLetters[pick(rng)];
  return s;
}

// A family of `count` related sequences: one ancestor with point changes.
std::string family(unsigned seed, int count, std::size_t length) {
  std::mt19937 rng(seed);
  const std::string ancestor = random_protein(rng, length);
  std::string fasta;
  for (int k = 1; k <= count; ++k) {
    std::string s = ancestor;
    for (std::size_t i = 0; i < s.size(); i += 4 + static_cast<std::size_t>(k)) s[i] = random_protein(rng, 1)[0];
    fasta += ">s" + std::to_string(k) + " seq\n" + s + "\n";
  }
  return fasta;
}

// The console without the processor-time line, which differs run to run.
std::string without_times(const std::string& out) { return out.substr(0, out.rfind(" Elapsed:")); }

std::vector<std::string> own_leftovers(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(".xkestra-", 0) == 0 || name.ends_with(".seq") || name.ends_with(".drct") || name.ends_with(".gca"))
      names.push_back(name);
  }
  return names;
}

bool wait_for(const std::string& file, std::chrono::seconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!fs::exists(file)) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A working directory that holds only the inputs: the bundled tools and
// data files are found beside the program.
class RunEnvironment : public ::testing::Test {
 protected:
  xktest::Started start(std::vector<std::string> args) {
    args.insert(args.begin(), xktest::program("xKESTRA"));
    return xktest::start(args, "", dir.path().string());
  }
  xktest::TempDir dir;
};

// Runs started together in one working directory keep their intermediate
// files apart: each writes exactly the report and console it writes alone
// (fixed seeds), and none leaves anything of its own behind.
TEST_F(RunEnvironment, RunsStartedTogetherInOneDirectoryGiveTheirSoloOutputs) {
  const std::vector<std::string> inputs = {family(1, 3, 40), family(2, 4, 33), family(3, 3, 47)};
  for (std::size_t k = 0; k < inputs.size(); ++k) write_file(dir.file("in" + std::to_string(k) + ".fa"), inputs[k]);
  std::vector<std::string> solo_out, solo_console;
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    const std::string n = std::to_string(k);
    auto st = start({"in" + n + ".fa", "solo" + n + ".txt", "-r", "7"});
    const auto r = xktest::finish(st);
    ASSERT_EQ(r.status, 0) << r.err;
    solo_out.push_back(read_file(dir.file("solo" + n + ".txt")));
    solo_console.push_back(without_times(r.out));
  }
  // Two at once, then four at once (one input twice, one with -p 1).
  for (const std::vector<std::size_t>& batch : {std::vector<std::size_t>{0, 1}, std::vector<std::size_t>{0, 1, 2, 0}}) {
    std::vector<xktest::Started> runs;
    for (std::size_t r = 0; r < batch.size(); ++r) {
      const std::string n = std::to_string(batch[r]);
      std::vector<std::string> args = {"in" + n + ".fa", "together" + std::to_string(r) + ".txt", "-r", "7"};
      if (r == 3) args.insert(args.end(), {"-p", "1"});
      runs.push_back(start(args));
    }
    for (std::size_t r = 0; r < batch.size(); ++r) {
      const auto res = xktest::finish(runs[r]);
      SCOPED_TRACE("run " + std::to_string(r) + " of " + std::to_string(batch.size()));
      ASSERT_EQ(res.status, 0) << res.err;
      EXPECT_EQ(without_times(res.out), solo_console[batch[r]]);
      EXPECT_EQ(read_file(dir.file("together" + std::to_string(r) + ".txt")), solo_out[batch[r]]);
    }
    EXPECT_EQ(own_leftovers(dir.path()), std::vector<std::string>{});
  }
}

// SIGINT, SIGTERM and SIGHUP, while a tool runs in the input phase or for a
// merged profile: the run says its output is incomplete, ends with 128 +
// the signal, stops the tool and removes its private folder.
TEST_F(RunEnvironment, InterruptsStopTheToolAndLeaveNoIntermediateFile) {
  write_file(dir.file("in.fa"), family(4, 3, 30));
  struct Case {
    int signal;
    std::string pattern;  // the profiles of the tool calls counted
    int call;             // the counted call that is interrupted
  };
  // Sequences 2 and 3 in the input phase; the first merged profile's gamma
  // file in the parent phase (merged profiles are named after their join:
  // j1, j2, ...), the parent's (the second join's, of three sequences) in the
  // initial alignment phase.
  for (const Case& c : {Case{SIGINT, "2.drct", 1}, Case{SIGHUP, "3.drct", 1}, Case{SIGTERM, "j*", 1},
                        Case{SIGINT, "j2.drct", 1}}) {
    SCOPED_TRACE(c.pattern + " call " + std::to_string(c.call) + " signal " + std::to_string(c.signal));
    fs::remove(dir.file("tool.pid"));
    fs::remove(dir.file("calls"));
    // A stand-in in the working directory waits, in place of the bundled
    // tool's work, on the chosen call.
    xktest::write_executable(dir.file("xkordel_gamma"),
                             "#!/bin/sh\n"
                             "case \"$2\" in " + c.pattern + ")\n"
                             "  n=$(( $(cat ../calls 2>/dev/null || echo 0) + 1 )); echo $n > ../calls\n"
                             "  if [ $n = " + std::to_string(c.call) + " ]; then echo $$ > ../tool.tmp; mv ../tool.tmp ../tool.pid; exec sleep 60; fi;;\n"
                             "esac\n"
                             "exec " + xktest::program("xkordel_gamma") + " \"$@\"\n");
    auto run = start({"in.fa", "out.txt", "-r", "3"});
    ASSERT_TRUE(wait_for(dir.file("tool.pid"), std::chrono::seconds(30)));
    const std::string pid_text = read_file(dir.file("tool.pid"));
    ASSERT_EQ(::kill(run.pid, c.signal), 0);
    const auto r = xktest::finish(run);
    EXPECT_EQ(r.status, 128 + c.signal);
    EXPECT_NE(r.err.find("STOP Interrupted by SIG"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": the output is incomplete\n"), std::string::npos) << r.err;
    EXPECT_EQ(own_leftovers(dir.path()), std::vector<std::string>{});
    const pid_t tool = static_cast<pid_t>(std::stol(pid_text));
    EXPECT_EQ(::kill(tool, 0), -1) << "the tool still runs";
    EXPECT_EQ(errno, ESRCH);
  }
}

// The bundled tools and data beside the program serve a working directory
// that holds only the input; a join whose tables exceed the memory limit
// stops before they are allocated, naming both groups.
TEST(RunEnvironmentBundled, ToolsBesideTheProgramAndTheMemoryStop) {
  xktest::TempDir dir;
  write_file(dir.file("in.fa"), family(5, 2, 40));
  auto r = xktest::run({xktest::program("xKESTRA"), "in.fa", "out.txt", "-r", "1"}, "", dir.path().string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(read_file(dir.file("out.txt")).find("Multiple sequence alignment (Iteration 1): "), std::string::npos);

  // Two sequences of 700: the tables need about 260 MB; the limit is 1 MB.
  write_file(dir.file("long.fa"), family(6, 2, 700));
  auto st = xktest::start({xktest::program("xKESTRA"), "long.fa", "out.txt", "-l", "1"}, "", dir.path().string());
  long peak_kib = 0;
  r = xktest::finish(st, &peak_kib);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("STOP ERROR: Joining 1 (700 positions) and 2 (700 positions) needs about "), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(" MB for the block aligner's tables, more than the limit of 1 MB (set it with -l)!!!"),
            std::string::npos)
      << r.err;
  EXPECT_LT(peak_kib, 100 * 1024);  // far below the tables' size: nothing of them was allocated
  EXPECT_EQ(own_leftovers(dir.path()), std::vector<std::string>{});
}

TEST(RunEnvironmentBundled, HelpAndVersionAnswerAndTouchNothing) {
  xktest::TempDir dir;
  write_file(dir.file("LOG"), "kept\n");
  for (const char* ask : {"--help", "-h"}) {
    const auto r = xktest::run({xktest::program("xKESTRA"), ask}, "", dir.path().string());
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("   xKESTRA INPUT OUTPUT -s {Shift} -b {Bias}\n"), std::string::npos);
  }
  const auto r = xktest::run({xktest::program("xKESTRA"), "--version"}, "", dir.path().string());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("xKESTRA ", 0), 0u);
  EXPECT_EQ(read_file(dir.file("LOG")), "kept\n");
}

// A received signal is only recorded; the next check point turns it into
// the Interrupted ending (128 + the signal), and no tool starts after it.
TEST(Interrupts, ARecordedSignalEndsTheRunAtTheNextCheckPoint) {
  struct sigaction saved {};
  ::sigaction(SIGHUP, nullptr, &saved);
  xk::install_interrupt_handlers();
  ASSERT_EQ(::raise(SIGHUP), 0);
  EXPECT_EQ(xk::interrupt_signal(), SIGHUP);
  EXPECT_EQ(xk::run_program([] {
              xk::check_interrupt();
              return 0;
            }),
            128 + SIGHUP);
  xktest::TempDir dir;
  const std::string marker = dir.file("started");
  EXPECT_THROW(xk::driver::run_tool({"/bin/sh", "-c", "touch " + marker}, {}), xk::Interrupted);
  EXPECT_FALSE(fs::exists(marker));
  xk::clear_interrupt();
  EXPECT_EQ(xk::driver::run_tool({"/bin/sh", "-c", "touch " + marker}, {}), 0);
  EXPECT_TRUE(fs::exists(marker));
  ::sigaction(SIGHUP, &saved, nullptr);
}

}  // namespace
