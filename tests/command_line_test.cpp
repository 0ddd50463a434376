#include "driver/command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ending.hpp"

namespace {

using xk::driver::parse_command_line;
using xk::driver::parse_real;

std::optional<xk::driver::Settings> parse(std::vector<std::string> args) { return parse_command_line(args); }

std::string stop_message(std::vector<std::string> args) {
  try {
    parse(args);
  } catch (const xk::FatalStop& e) {
    return e.what();
  }
  return "no stop";
}

TEST(CommandLine, UsageTextLines) {
  EXPECT_EQ(xk::driver::usage_text(),
            " xKESTRA   V. 0.0.2 Feb 2007\n"
            " A MSA program based on the TESSERA-D model\n"
            " Usage:\n"
            "   xKESTRA INPUT OUTPUT -s {Shift} -b {Bias}\n"
            "   -> INPUT: a FASTA file with multi-sequences\n"
            "   -> OUTPUT: a file name for the output file\n"
            "   -> Shift: Matrix bias in DP, default -> 0\n"
            "   -> Bias: Matrix bias in BAA, default -> 0\n"
            "   -> Seed: random seed of BAA, default -> clock\n"
            "   -> File (-o): the alignment with every residue, default -> none\n"
            "   -> Format (-f): fasta, clustal, stockholm, msf or a2m, default -> fasta\n"
            "   -> Tree (-t): a file for the merge order as a Newick tree, default -> none\n"
            "   -> Mode (-m): classic or accurate, default -> classic\n"
            "   -> Rounds (-i): refinement rounds in accurate mode, default -> 1\n"
            "   -> Threads (-p): number of threads, default -> all cores\n"
            "   -> Limit (-l): memory for the tables of BAA in MB, default -> 3/4 of the memory\n");
}

TEST(CommandLine, HelpAndVersionAreAskedFirst) {
  using xk::driver::info_request;
  using xk::driver::InfoRequest;
  const auto ask = [](std::vector<std::string> args) { return info_request(args); };
  EXPECT_EQ(ask({"--help"}), InfoRequest::help);
  EXPECT_EQ(ask({"-h"}), InfoRequest::help);
  EXPECT_EQ(ask({"--version", "x"}), InfoRequest::version);
  EXPECT_FALSE(ask({}));
  EXPECT_FALSE(ask({"in.fa", "--help"}));
  EXPECT_EQ(xk::driver::version_text().rfind("xKESTRA ", 0), 0u);
}

TEST(CommandLine, ThreadsAndMemoryLimitTakeWholePositiveNumbers) {
  auto s = parse({"in.fa", "out.txt", "-p", "3", "-l", "512"});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->threads, 3u);
  EXPECT_EQ(s->memory_limit, std::uint64_t{512} << 20);
  EXPECT_EQ(parse({"in.fa", "out.txt"})->threads, 0u);  // one per core
  EXPECT_FALSE(parse({"in.fa", "out.txt"})->memory_limit);
  for (const char* bad : {"", "0", "-1", "2.5", "x", "5000"})
    EXPECT_EQ(stop_message({"in.fa", "out.txt", "-p", bad}), "Wrong argument in threads!!!") << '"' << bad << '"';
  for (const char* bad : {"", "0", "-4", "1G", "99999999999999"})
    EXPECT_EQ(stop_message({"in.fa", "out.txt", "-l", bad}), "Wrong argument in limit!!!") << '"' << bad << '"';
}

TEST(CommandLine, CountsThatDoNotFitAskForUsage) {
  EXPECT_FALSE(parse({}));
  EXPECT_FALSE(parse({"in.fa"}));
  EXPECT_FALSE(parse({"in.fa", "out.txt", "-s"}));  // usage, not an option error
  EXPECT_FALSE(parse({"in.fa", "out.txt", "-s", "1", "-b"}));
}

TEST(CommandLine, DefaultsAndNames) {
  auto s = parse({"in.fa  ", "out.txt"});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->input, "in.fa");  // trailing blanks are not part of a name
  EXPECT_EQ(s->output, "out.txt");
  EXPECT_EQ(s->shift, 0.0f);
  EXPECT_EQ(s->bias, 0.0f);
  EXPECT_EQ(s->go, 21.0f);
  EXPECT_EQ(s->ge, 0.4f);
  EXPECT_FALSE(s->seed);
}

TEST(CommandLine, LastValueWins) {
  auto s = parse({"in.fa", "out.txt", "-s", "1.5", "-b", "3", "-s", "-2", "-b", "0.25"});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->shift, -2.0f);
  EXPECT_EQ(s->bias, 0.25f);
}

TEST(CommandLine, BadOptionsStopInOrder) {
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-x", "1"}), "Wrong argument(s)!!!");
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-S", "1"}), "Wrong argument(s)!!!");
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-s1", "1"}), "Wrong argument(s)!!!");
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-b", "abc"}), "Wrong argument in bias!!!");
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-s", "1.5x"}), "Wrong argument in shift!!!");
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-s", ""}), "Wrong argument in shift!!!");
  // A bad option after a good one still stops; the first bad one is named.
  EXPECT_EQ(stop_message({"in.fa", "out.txt", "-s", "1", "-b", "x", "-q", "1"}), "Wrong argument in bias!!!");
}

TEST(CommandLine, ModeAndRoundsOptions) {
  auto s = parse({"in.fa", "out.txt"});
  EXPECT_EQ(s->mode, xk::driver::Mode::classic);
  EXPECT_EQ(s->pairs_go(), 21.0f);  // the classic gap penalties
  EXPECT_EQ(s->parent_ge(), 0.4f);
  s = parse({"in.fa", "out.txt", "-m", "accurate", "-i", "0", "-i", " 5 "});
  EXPECT_EQ(s->mode, xk::driver::Mode::accurate);
  EXPECT_EQ(s->rounds, 5);
  EXPECT_EQ(s->pairs_go(), s->accurate_go);
  EXPECT_EQ(s->parent_ge(), s->accurate_ge);
  s = parse({"in.fa", "out.txt", "-m", "accurate", "-m", "classic"});
  EXPECT_EQ(s->mode, xk::driver::Mode::classic);
  EXPECT_FALSE(s->end_gap_free_pairs || s->end_to_end_parent);
  for (const char* bad : {"", "Accurate", "fast", "accurate1"})
    EXPECT_EQ(stop_message({"in.fa", "out.txt", "-m", bad}), "Wrong argument in mode!!!") << bad;
  for (const char* bad : {"", "-1", "101", "2.5", "x"})
    EXPECT_EQ(stop_message({"in.fa", "out.txt", "-i", bad}), "Wrong argument in rounds!!!") << bad;
}

TEST(CommandLine, SeedOptionTakesWholeNumbers) {
  auto s = parse({"in.fa", "out.txt", "-r", "42", "-s", "1", "-r", "7"});
  ASSERT_TRUE(s);
  EXPECT_EQ(s->seed, 7u);  // the last value wins
  EXPECT_EQ(parse({"in.fa", "out.txt", "-r", " -3 "})->seed, static_cast<std::uint64_t>(-3));
  for (const char* bad : {"", "x", "1.5", "1e3", "12a", "99999999999999999999"})
    EXPECT_EQ(stop_message({"in.fa", "out.txt", "-r", bad}), "Wrong argument in seed!!!") << '"' << bad << '"';
}

TEST(CommandLine, RealNumberForms) {
  EXPECT_EQ(parse_real("1.5"), 1.5f);
  EXPECT_EQ(parse_real("-2"), -2.0f);
  EXPECT_EQ(parse_real("+.5"), 0.5f);
  EXPECT_EQ(parse_real("3."), 3.0f);
  EXPECT_EQ(parse_real("   7"), 7.0f);
  EXPECT_EQ(parse_real("1e2"), 100.0f);
  EXPECT_EQ(parse_real("1D-1"), 0.1f);
  EXPECT_EQ(parse_real("2.5E+1"), 25.0f);
  EXPECT_EQ(parse_real("1.5,junk"), 1.5f);  // the number ends at a comma
  EXPECT_EQ(parse_real("1.5 junk"), 1.5f);  // or at a blank
  for (const char* bad : {"", " ", "abc", "1.5x", ".", "-", "+", "1e", "1e+", "e5", "1..2", "0x10", "1e99", "nan",
                          "inf", "1-2"})
    EXPECT_FALSE(parse_real(bad)) << '"' << bad << '"';
}

}  // namespace
