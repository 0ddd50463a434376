// End-to-end runs of the converter xmkprof and the viewer showprof.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "profile/record.hpp"
#include "readers/profiles.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"
#include "tools/showprof.hpp"

using xktest::program;
using xktest::read_file;
using xktest::run;
using xktest::TempDir;

namespace {

const std::string kPrompt = "Type or paste sequence (^D when finished): ";

xktest::RunResult mkprof(const TempDir& dir, const std::string& input, std::vector<std::string> args) {
  args.insert(args.begin(), program("xmkprof"));
  return run(args, input, dir.path().string());
}

std::vector<xk::ProfileRecord> records(const std::string& path) {
  std::vector<xk::ProfileRecord> out;
  xk::ProfileReader reader(path);
  xk::ProfileRecord rec;
  while (reader.next(rec)) out.push_back(rec);
  return out;
}

}  // namespace

TEST(Xmkprof, ThreeLowerCaseLettersByteForByte) {
  TempDir dir;
  auto r = mkprof(dir, "acd\n", {"12.drct"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kPrompt + "A A\nC C\nD D\n" +
                       " Sequence length:          3\n"
                       " Last record:          3\n"
                       " Total size:         12 bytes.\n");
  EXPECT_EQ(r.err, "STOP MKPROF: Normal end\n");
  std::string bytes = read_file(dir.file("12.drct"));
  ASSERT_EQ(bytes.size(), 3 * 136u);
  // Record 2, spelled out: residue numbers 2 and 2, label "12.d" from the
  // file name, "_", "C", "U", blank, six reals 0, 1.0, one-hot C, two reals
  // 0, "_", "?", three integers 0.
  std::string rec2 = bytes.substr(136, 136);
  EXPECT_EQ(rec2.substr(0, 12), std::string("\x02\x00\x02\x00", 4) + "12.d_CU ");
  EXPECT_EQ(rec2.substr(12, 24), std::string(24, '\0'));
  EXPECT_EQ(rec2.substr(36, 4), std::string("\x00\x00\x80\x3f", 4));
  EXPECT_EQ(rec2.substr(40, 4), std::string(4, '\0'));                 // A
  EXPECT_EQ(rec2.substr(44, 4), std::string("\x00\x00\x80\x3f", 4));   // C = 1.0
  EXPECT_EQ(rec2.substr(48, 72), std::string(72, '\0'));               // D..Y
  EXPECT_EQ(rec2.substr(120, 8), std::string(8, '\0'));
  EXPECT_EQ(rec2.substr(128, 8), std::string("_?\0\0\0\0\0\0", 8));
}

TEST(Xmkprof, OneLetterProfileIsExactly136Bytes) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, "A\n", {"a.drct", "LABELX"}).status, 0);
  std::string bytes = read_file(dir.file("a.drct"));
  ASSERT_EQ(bytes.size(), 136u);
  EXPECT_EQ(bytes.substr(0, 12), std::string("\x01\x00\x01\x00", 4) + "LABE_AU ");
  EXPECT_EQ(bytes.substr(40, 4), std::string("\x00\x00\x80\x3f", 4));
}

TEST(Xmkprof, HeadersCommentsBlanksAndDotsAreSkipped) {
  TempDir dir;
  auto r = mkprof(dir, ">title ACDE\n# comment line\nA.C D\nAC#DE\n", {"x.drct"});
  EXPECT_EQ(r.status, 0);
  auto recs = records(dir.file("x.drct"));
  std::string letters;
  for (auto& rec : recs) letters += rec.letter;
  EXPECT_EQ(letters, "ACDAC");
  EXPECT_EQ(recs.back().resnum, 5);
}

TEST(Xmkprof, AmbiguityLettersGetBackgroundProfiles) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, "xBZ\n", {"x.drct"}).status, 0);
  auto recs = records(dir.file("x.drct"));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].letter, 'X');
  EXPECT_EQ(recs[0].values, xk::kBackground);
  // B: half of D and N; Z: half of E and Q; nothing else.
  EXPECT_FLOAT_EQ(recs[1].values[2], 0.029275f);
  EXPECT_FLOAT_EQ(recs[1].values[11], 0.023645f);
  EXPECT_FLOAT_EQ(recs[2].values[3], 0.02996f);
  EXPECT_FLOAT_EQ(recs[2].values[13], 0.01864f);
  float sum_b = 0;
  for (float v : recs[1].values) sum_b += v;
  EXPECT_NEAR(sum_b, 0.05292f, 1e-5);
}

TEST(Xmkprof, OnlyFiveHundredColumnsOfALineAreRead) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, std::string(600, 'G') + "\n", {"g.drct"}).status, 0);
  EXPECT_EQ(xk::getdrctlen(dir.file("g.drct")), 500);
}

TEST(Xmkprof, LabelRules) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, "A\n", {"12.drct", "    "}).status, 0);
  EXPECT_EQ(read_file(dir.file("12.drct")).substr(4, 4), "12.d");
  ASSERT_EQ(mkprof(dir, "A\n", {"7"}).status, 0);
  EXPECT_EQ(read_file(dir.file("7")).substr(4, 4), "7   ");
}

TEST(Xmkprof, BadLetterStopsAndKeepsEarlierRecords) {
  TempDir dir;
  auto r = mkprof(dir, "ACJK\n", {"b.drct"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kPrompt + "A A\nC C\nJ J\n Error reading letter! J\n");
  EXPECT_EQ(r.err, "STOP mkprof:: Bad end.2000\n");
  EXPECT_EQ(xk::getdrctlen(dir.file("b.drct")), 2);
}

TEST(Xmkprof, UsageStopWithoutArgumentsCreatesNothing) {
  TempDir dir;
  auto r = mkprof(dir, "A\n", {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "STOP Usage: xmkprof outputfile [label] < sequence\n");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Xmkprof, EmptyInputGivesAnEmptyProfile) {
  TempDir dir;
  auto r = mkprof(dir, "", {"e.drct"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kPrompt + " Sequence length:          0\n Last record:          0\n Total size:          0 bytes.\n");
  EXPECT_EQ(read_file(dir.file("e.drct")), "");
}

// Converting a shorter sequence into an existing file must not leave
// the old file's records behind the new ones.
TEST(Xmkprof, ReplacesAnOldLongerProfile) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, "ACDEFGHIK\n", {"1.drct"}).status, 0);
  ASSERT_EQ(mkprof(dir, "WY\n", {"1.drct"}).status, 0);
  EXPECT_EQ(xk::getdrctlen(dir.file("1.drct")), 2);
}

TEST(Xmkprof, UnwritableOutputIsAnIoError) {
  TempDir dir;
  auto r = mkprof(dir, "A\n", {"no/such/dir/x.drct"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no/such/dir/x.drct"), std::string::npos);
}

TEST(Showprof, ListsEveryRecord) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, "AC\n", {"ac.drct"}).status, 0);
  auto r = run({program("showprof"), "ac.drct"}, "", dir.path().string());
  EXPECT_EQ(r.status, 0);
  std::string zeros19, zeros18;
  for (int i = 0; i < 19; ++i) zeros19 += " 0.0";
  for (int i = 0; i < 18; ++i) zeros18 += " 0.0";
  EXPECT_EQ(r.out, " opening ac.drct\n 1.0" + zeros19 + "\n 0.0 1.0" + zeros18 + "\n 0\n");
}

// A file whose size is not a whole number of records (a partial record, a
// 7-byte file) or a folder is refused with status 2 naming it, after the
// opening line and before any value line.
TEST(Showprof, DamagedFilesAndFoldersAreRefused) {
  TempDir dir;
  ASSERT_EQ(mkprof(dir, "AC\n", {"ac.drct"}).status, 0);
  const std::string bytes = read_file(dir.file("ac.drct"));
  xktest::write_file(dir.file("long.drct"), bytes + std::string(100, '\0'));
  xktest::write_file(dir.file("seven.drct"), bytes.substr(0, 7));
  std::filesystem::create_directory(dir.file("dir.drct"));
  for (const std::string name : {"long.drct", "seven.drct", "dir.drct"}) {
    auto r = run({program("showprof"), name}, "", dir.path().string());
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_EQ(r.out, " opening " + name + "\n");
    EXPECT_EQ(r.err.rfind("ERROR: " + name + ": ", 0), 0u) << r.err;
  }
  EXPECT_NE(run({program("showprof"), "long.drct"}, "", dir.path().string()).err.find("not a whole number of 136-byte records"),
            std::string::npos);
}

TEST(Showprof, MissingFileIsAnIoErrorAfterTheOpeningLine) {
  TempDir dir;
  auto r = run({program("showprof"), "none.drct"}, "", dir.path().string());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, " opening none.drct\n");
  EXPECT_NE(r.err.find("none.drct"), std::string::npos);
  r = run({program("showprof")}, "", dir.path().string());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, " opening \n");
}

TEST(Showprof, ValuesReadBackExactly) {
  EXPECT_EQ(xk::show_value(0.08279f), "0.08279");
  EXPECT_EQ(xk::show_value(1.0f), "1.0");
  EXPECT_EQ(xk::show_value(0.0f), "0.0");
  EXPECT_EQ(std::stof(xk::show_value(0.029275f)), 0.029275f);
}
