// End-to-end runs of xKESTRA in a scratch working directory with the built
// converter, a stand-in gamma tool and hand-made frequency files.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "driver_fixtures.hpp"
#include "testutil.hpp"

namespace {

namespace fs = std::filesystem;
using xktest::read_file;
using xktest::write_file;

const std::string kUsage =
    " xKESTRA   V. 0.0.2 Feb 2007\n"
    " A MSA program based on the TESSERA-D model\n"
    " Usage:\n"
    "   xKESTRA INPUT OUTPUT -s {Shift} -b {Bias}\n"
    "   -> INPUT: a FASTA file with multi-sequences\n"
    "   -> OUTPUT: a file name for the output file\n"
    "   -> Shift: Matrix bias in DP, default -> 0\n"
    "   -> Bias: Matrix bias in BAA, default -> 0\n"
    "   -> Seed: random seed of BAA, default -> clock\n"
    "   -> Mode (-m): classic or accurate, default -> classic\n"
    "   -> Rounds (-i): refinement rounds in accurate mode, default -> 1\n";

// Three sequences worked by hand: 1 and 2 share P1, P2 and P3, with a
// residue of 2 (C) and one of 1 (W) against gaps; 3 is a piece of P1.
const std::string kP1 = "MKVLSEGDWQLVNAHPRTYF", kP2 = "ICDGSNWERTKLMPQVHAYS", kP3 = "DFKRLEGTWNPAVCI";
const std::string kSeq1 = kP1 + kP2 + "W" + kP3;          // 56
const std::string kSeq2 = "GH" + kP1 + "C" + kP2 + kP3;   // 58
const std::string kSeq3 = "WQLVNAH";                      // positions 9-15 of 1, 11-17 of 2
const std::string kThree = ">one first\n" + kSeq1 + "\n>two (2x) second\n" + kSeq2 + "\n>three\n" + kSeq3 + "\n";

const std::string kThreeReports =
    "Initial pairwise alignment: 1.gca, 2.gca\n"
    "QUERY           1   MKVLSEGDWQLVNAHPRTYF.ICDGSNWERTKLMPQVHAYSWDFKRLEGT     49\n"
    "TARGET          3   MKVLSEGDWQLVNAHPRTYFCICDGSNWERTKLMPQVHAYS.DFKRLEGT     51\n"
    "\n"
    "QUERY          50   WNPAVCI     56\n"
    "TARGET         52   WNPAVCI     58\n"
    "\n"
    "\n"
    "Initial pairwise alignment: 1.gca, 3.gca\n"
    "QUERY           9   WQLVNAH     15\n"
    "TARGET          1   WQLVNAH      7\n"
    "\n"
    "\n"
    "Initial pairwise alignment: 2.gca, 3.gca\n"
    "QUERY          11   WQLVNAH     17\n"
    "TARGET          1   WQLVNAH      7\n"
    "\n"
    "\n";

const std::string kThreeConsole =
    "\n"
    " Sequence number in the FASTA file: 3\n"
    "\n"
    " ...parsing sequence 1\n"
    " ...parsing sequence 2\n"
    " ...parsing sequence 3\n"
    "\n"
    " ...performing all possible pairwise alignments based on TESSERA-D(DP)\n"
    "\r 33% |================>"
    "\r 66% |=================================>"
    "\r100% |==================================================|\n"
    "\n";

// The all-pairs part of a report file: everything before the first report
// of the initial multiple alignment.
std::string pairs_part(const std::string& report) {
  return report.substr(0, report.find("Multiple sequence alignment (Iteration 1): "));
}

// The console up to the end of the all-pairs phase.
std::string pairs_console(const std::string& out) {
  return out.substr(0, out.find(" ...generating the parent profile"));
}

const std::regex kElapsed(R"( Elapsed: \d+\.\d{3} User: \d+\.\d{3} System: \d+\.\d{3}\n)");

class Xkestra : public ::testing::Test {
 protected:
  void SetUp() override { xktest::stage_working_directory(dir); }

  xktest::RunResult run(std::vector<std::string> args) {
    args.insert(args.begin(), xktest::program("xKESTRA"));
    return xktest::run(args, "", dir.path().string());
  }
  std::string file(const std::string& name) const { return dir.file(name); }
  bool exists(const std::string& name) const { return fs::exists(fs::symlink_status(file(name))); }
  std::string output(const std::string& name = "out.txt") const { return read_file(file(name)); }

  // Everything but the final processor-time line, which is checked apart.
  static std::string console_without_times(const std::string& out) {
    const auto p = out.rfind(" Elapsed:");
    if (p == std::string::npos) return out + "<no Elapsed line>";
    EXPECT_TRUE(std::regex_match(out.substr(p), kElapsed)) << out.substr(p);
    return out.substr(0, p);
  }

  std::vector<std::string> working_files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  xktest::TempDir dir;
};

TEST_F(Xkestra, UsageForZeroOneAndThreeArguments) {
  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"in.fa"}, {"in.fa", "out.txt", "-s"}}) {
    write_file(file("LOG"), "old log\n");
    write_file(file("in.fa"), kThree);
    const auto r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kUsage);
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(exists("LOG"));  // removed all the same
    EXPECT_FALSE(exists("out.txt"));
  }
}

TEST_F(Xkestra, BadOptionsStopBeforeTheOutputIsCreated) {
  write_file(file("in.fa"), kThree);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-x", "1"}, "Wrong argument(s)!!!"},
      {{"-S", "1"}, "Wrong argument(s)!!!"},
      {{"-b", "abc"}, "Wrong argument in bias!!!"},
      {{"-s", "1.5x"}, "Wrong argument in shift!!!"},
      {{"-s", "1", "-s", "x"}, "Wrong argument in shift!!!"},
  };
  for (const auto& [options, message] : cases) {
    std::vector<std::string> args = {"in.fa", "out.txt"};
    args.insert(args.end(), options.begin(), options.end());
    const auto r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "STOP " + message + "\n");
    EXPECT_FALSE(exists("out.txt"));
  }
}

TEST_F(Xkestra, ShiftLastValueWins) {
  // Unrelated sequences: nothing aligns without a shift; with -s 200 every
  // pair score is positive and the whole of both aligns.
  write_file(file("in.fa"), ">a\nACDEF\n>b\nGHIKL\n");
  ASSERT_EQ(run({"in.fa", "plain.txt"}).status, 0);
  ASSERT_EQ(run({"in.fa", "shifted.txt", "-b", "3", "-s", "200"}).status, 0);
  ASSERT_EQ(run({"in.fa", "back.txt", "-s", "200", "-s", "0"}).status, 0);
  ASSERT_EQ(run({"in.fa", "again.txt", "-s", "0", "-b", "1e3", "-s", "2D2"}).status, 0);
  EXPECT_EQ(pairs_part(output("plain.txt")), "Initial pairwise alignment: 1.gca, 2.gca\n\n");
  EXPECT_EQ(pairs_part(output("shifted.txt")),
            "Initial pairwise alignment: 1.gca, 2.gca\n"
            "QUERY           1   ACDEF      5\n"
            "TARGET          1   GHIKL      5\n"
            "\n\n");
  EXPECT_EQ(pairs_part(output("back.txt")), pairs_part(output("plain.txt")));
  EXPECT_EQ(pairs_part(output("again.txt")), pairs_part(output("shifted.txt")));
}

TEST_F(Xkestra, NormalRunConsoleReportsAndLog) {
  write_file(file("in.fa"), kThree);
  const auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(pairs_console(console_without_times(r.out)), kThreeConsole);
  EXPECT_EQ(pairs_part(output()), kThreeReports);
  // The gamma tool's standard error reaches the terminal; the converter's
  // ("STOP MKPROF: Normal end") does not.
  // (then the notes for the merged profiles that the later phases need)
  EXPECT_EQ(r.err.rfind("gamma tool note 1.drct\ngamma tool note 2.drct\ngamma tool note 3.drct\n", 0), 0u)
      << r.err;
  // Both tools' standard output went to LOG, in the order they ran.
  const std::string log = output("LOG");
  const auto conv1 = log.find(" Sequence length:         56\n");
  const auto gam1 = log.find("gamma 1.drct 1.gca 56\n");
  const auto conv2 = log.find(" Sequence length:         58\n");
  const auto gam3 = log.find("gamma 3.drct 3.gca 7\n");
  ASSERT_NE(conv1, std::string::npos);
  ASSERT_NE(gam3, std::string::npos);
  EXPECT_LT(conv1, gam1);
  EXPECT_LT(gam1, conv2);
  EXPECT_LT(conv2, gam3);
  // Only the run's inputs, its output and LOG are left.
  EXPECT_EQ(working_files(), (std::vector<std::string>{"LOG", "expected", "in.fa", "model_R.hmm", "observed",
                                                       "out.txt", "xkordel_gamma", "xmkprof"}));
}

TEST_F(Xkestra, F11_CleanupRemovesOnlyTheRunsOwnFiles) {
  write_file(file("in.fa"), ">a\nMKV\n");
  for (const char* f : {"7.gca", "3.drct", "1-2.drct", "2-1-3.gca", "myprotein.drct", "myprotein.gca", "1a.gca",
                        "1.drct.keep"})
    write_file(file(f), "stale\n");
  const auto r = run({"in.fa", "out.txt"});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* gone : {"1.drct", "1.gca", "1.seq", "7.gca", "3.drct", "1-2.drct", "2-1-3.gca"})
    EXPECT_FALSE(exists(gone)) << gone;
  for (const char* kept : {"myprotein.drct", "myprotein.gca", "1a.gca", "1.drct.keep"}) {
    ASSERT_TRUE(exists(kept)) << kept;
    EXPECT_EQ(output(kept), "stale\n");
  }
}

TEST_F(Xkestra, OneSequenceRunsWithoutPairs) {
  write_file(file("in.fa"), ">only\nMKV\n");
  const auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pairs_console(console_without_times(r.out)),
            "\n Sequence number in the FASTA file: 1\n\n ...parsing sequence 1\n\n"
            " ...performing all possible pairwise alignments based on TESSERA-D(DP)\n\n");
  EXPECT_EQ(pairs_part(output()), "");
}

TEST_F(Xkestra, F5_NoShellAroundUserText) {
  const std::string odd = "my in;touch pwned;.fa";
  write_file(file(odd), ">a $(touch pwned2) `touch pwned3`\n" + kSeq1 + "\n>b x;touch pwned4\n" + kSeq3 + "\n");
  const auto r = run({odd, "out put.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pairs_part(output("out put.txt")),
            "Initial pairwise alignment: 1.gca, 2.gca\n"
            "QUERY           9   WQLVNAH     15\n"
            "TARGET          1   WQLVNAH      7\n"
            "\n\n");
  for (const char* f : {"pwned", "pwned2", "pwned3", "pwned4"}) EXPECT_FALSE(exists(f)) << f;
}

TEST_F(Xkestra, F5_ToolFailuresStopWithTheirMessages) {
  write_file(file("in.fa"), kThree);
  fs::remove(file("xmkprof"));
  auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "\n Sequence number in the FASTA file: 3\n\n ...parsing sequence 1\n");
  EXPECT_EQ(r.err, "STOP ERROR: System command for making drct files!!!\n");
  EXPECT_TRUE(exists("1.seq"));  // what was made stays

  fs::create_symlink(xktest::program("xmkprof"), file("xmkprof"));
  xktest::write_executable(file("xkordel_gamma"), "#!/bin/sh\nexit 3\n");
  r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "STOP ERROR: System command for making gca files!!!\n");
  EXPECT_TRUE(exists("1.drct"));

  fs::remove(file("xkordel_gamma"));
  r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.err, "STOP ERROR: System command for making gca files!!!\n");
}

TEST_F(Xkestra, F6_TheInputIsNeverDestroyed) {
  write_file(file("in.fa"), kThree);
  fs::create_symlink("in.fa", file("link.fa"));
  fs::create_hard_link(file("in.fa"), file("hard.fa"));
  fs::create_directory(file("sub"));
  for (const std::string out : {"in.fa", "sub/../in.fa", "link.fa", "hard.fa"}) {
    const auto r = run({"in.fa", out});
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.err, "STOP ERROR: The output file " + out + " is the input file in.fa!!!\n");
    EXPECT_EQ(output("in.fa"), kThree) << out;
  }
  // Nor may the output be one of the run's own files, nor a data file or
  // tool it reads (also through a link), nor the input a file it overwrites.
  fs::create_symlink("observed", file("obs.link"));
  const std::string observed = output("observed");
  for (const std::string out : {"1-2.gca", "1.seq", "LOG", "./3.gca", "observed", "obs.link", "sub/../xmkprof"}) {
    const auto r = run({"in.fa", out});
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.err, "STOP ERROR: " + out +
                         " is one of this program's own files in the working directory; choose another output "
                         "file name!!!\n");
  }
  EXPECT_EQ(output("observed"), observed);
  write_file(file("1.seq"), kThree);
  EXPECT_EQ(run({"1.seq", "out.txt"}).err,
            "STOP ERROR: 1.seq is one of this program's own files in the working directory; choose another input "
            "file name!!!\n");
  EXPECT_EQ(output("1.seq"), kThree);
  // In another folder such a name is harmless.
  EXPECT_EQ(run({"in.fa", "sub/1.gca"}).status, 0);
  EXPECT_EQ(pairs_part(output("sub/1.gca")), kThreeReports);
}

TEST_F(Xkestra, F6_AnInputThatIsTheLogSurvives) {
  // The log is removed at the start of a run; an input that is the log, by
  // name or through a link, is refused before that can happen.
  write_file(file("LOG"), kThree);
  fs::create_symlink("LOG", file("log.fa"));
  for (const std::string in : {"LOG", "log.fa"}) {
    const auto r = run({in, "out.txt"});
    EXPECT_EQ(r.status, 1) << in;
    EXPECT_EQ(r.err, "STOP ERROR: " + in +
                         " is one of this program's own files in the working directory; choose another input "
                         "file name!!!\n");
    EXPECT_EQ(output("LOG"), kThree) << in;
  }
  // Otherwise the old log goes, as always.
  write_file(file("in.fa"), kThree);
  EXPECT_EQ(run({"in.fa"}).status, 1);
  EXPECT_FALSE(exists("LOG"));
}

TEST_F(Xkestra, F6_OutputThatCannotBeCreatedIsAFatalStop) {
  write_file(file("in.fa"), kThree);
  const auto r = run({"in.fa", "nofolder/out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "STOP ERROR: Cannot create the output file nofolder/out.txt!!!\n");
}

TEST_F(Xkestra, MissingInputAndDataFiles) {
  auto r = run({"nope.fa", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "ERROR: File not found - nope.fa\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(output(), "");  // created before the input was opened

  write_file(file("in.fa"), kThree);
  fs::remove(file("observed"));
  r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(" ...parsing sequence 3\n\nERROR: File not found - observed\n"), std::string::npos) << r.out;
}

TEST_F(Xkestra, F7_ResidueTextMatchesItsProfile) {
  // Lower case, CR LF, blanks, gaps, dots and a final star read as the
  // clean upper-case text: the same reports as kThree.
  std::string messy = ">one first\r\n";
  for (std::size_t p = 0; p < kSeq1.size(); ++p) {
    messy += static_cast<char>(kSeq1[p] - 'A' + 'a');
    if (p % 7 == 3) messy += ' ';
    if (p % 11 == 5) messy += "-.";
    if (p % 13 == 12) messy += "\r\n";
  }
  messy += "*\r\n>two (2x) second\r\n" + kSeq2 + "\r\n>three\r\n\t" + kSeq3 + "\r\n";
  write_file(file("in.fa"), messy);
  const auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(pairs_part(output()), kThreeReports);
}

TEST_F(Xkestra, F7_RareResiduesAndBadCharacters) {
  write_file(file("in.fa"), ">sel\nMKUV\n>b\nMKV\n");
  auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" ...parsing sequence 1\n WARNING: Sequence 1 (sel) position 3: U read as X\n"
                       " ...parsing sequence 2\n"),
            std::string::npos)
      << r.out;

  fs::remove(file("LOG"));
  write_file(file("in.fa"), ">a\nMKV\n>b2\nMK1V\n");
  r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "STOP ERROR: Sequence 2 (b2) position 3: character \"1\" is not a residue letter (line 4, column 3 "
            "of in.fa)!!!\n");
  EXPECT_FALSE(exists("LOG"));  // no tool ran
  EXPECT_FALSE(exists("1.drct"));
}

TEST_F(Xkestra, F8_LongLinesAreConvertedWhole) {
  std::string seq;
  for (int k = 0; k < 1200; ++k) seq += "ACDEFGHIKLMNPQRSTVWY"[k * 7 % 20];
  write_file(file("in.fa"), ">long\n" + seq + "\n");
  const auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(output("LOG").find("gamma 1.drct 1.gca 1200\n"), std::string::npos);
}

TEST_F(Xkestra, F9_UnusableInputIsRefused) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "ERROR: The input file in.fa is empty!!!"},
      {"MKV\n", "ERROR: Text before the first header line (line 1 of in.fa)!!!"},
      {"\n\n", "ERROR: No header line (a line beginning with \">\") in in.fa!!!"},
      {">a\nMKV\n>b\n\n>c\nMKV\n", "ERROR: Sequence 2 (b) has no residues!!!"},
  };
  for (const auto& [text, message] : cases) {
    write_file(file("in.fa"), text);
    const auto r = run({"in.fa", "out.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "STOP " + message + "\n");
    EXPECT_FALSE(exists("1.drct"));
  }
  write_file(file("in.fa"), ">abcdefghij_1 x\nMKV\n>abcdefghij_2 y\nMKV\n");
  const auto r = run({"in.fa", "out.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(" ...parsing sequence 2\n WARNING: Sequences 1 and 2 have the same identifier (abcdefghij)\n"),
            std::string::npos)
      << r.out;
}

}  // namespace

namespace {

// Checks every QUERY/TARGET row of a report file against the sequences: the
// residues shown are the sequence's residues from the row's first number
// to its last, in order.
void check_rows_against_sequences(const std::string& report, const std::vector<std::string>& seqs) {
  std::istringstream in(report);
  std::string line;
  int a = 0, b = 0;
  while (std::getline(in, line)) {
    if (line.rfind("Initial pairwise alignment: ", 0) == 0) {
      ASSERT_EQ(std::sscanf(line.c_str(), "Initial pairwise alignment: %d.gca, %d.gca", &a, &b), 2) << line;
      continue;
    }
    if (line.empty()) continue;
    const bool query = line.rfind("QUERY", 0) == 0;
    ASSERT_TRUE(query || line.rfind("TARGET", 0) == 0) << line;
    const std::string& seq = seqs[static_cast<std::size_t>(query ? a : b) - 1];
    const int first = std::stoi(line.substr(13, 4));
    const std::string row = line.substr(20, line.size() - 27);
    const int last = std::stoi(line.substr(line.size() - 4));
    std::string residues;
    for (char c : row)
      if (c != '.') residues += c;
    EXPECT_EQ(last - first + 1, static_cast<int>(residues.size())) << line;
    EXPECT_EQ(seq.substr(static_cast<std::size_t>(first - 1), residues.size()), residues) << line;
  }
}

TEST(XkestraWithBundledTools, RunsEndToEnd) {
  // The bundled gamma tool, model and frequency files, on the first 80
  // residues of three globins.
  xktest::TempDir dir;
  for (const char* f : {"xmkprof", "xkordel_gamma", "model_R.hmm", "observed", "expected"})
    std::filesystem::create_symlink(xktest::program(f), dir.file(f));
  std::vector<std::string> seqs;
  std::istringstream in(read_file(xktest::source_path("data/example/globins4.fa")));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('>', 0) == 0) seqs.emplace_back();
    else if (!seqs.empty()) seqs.back() += line;
  }
  ASSERT_GE(seqs.size(), 3u);
  seqs.resize(3);
  std::string fasta;
  for (auto& s : seqs) {
    s.resize(std::min<std::size_t>(s.size(), 80));
    fasta += ">globin\n" + s + "\n";
  }
  write_file(dir.file("in.fa"), fasta);
  const auto r = xktest::run({xktest::program("xKESTRA"), "in.fa", "out.txt"}, "", dir.path().string());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string report = pairs_part(read_file(dir.file("out.txt")));
  EXPECT_EQ(std::count(report.begin(), report.end(), ':'), 3);  // three pair reports
  check_rows_against_sequences(report, seqs);
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    const std::string ext = e.path().extension().string();
    EXPECT_TRUE(ext != ".drct" && ext != ".gca" && ext != ".seq") << e.path();
  }
}

}  // namespace
