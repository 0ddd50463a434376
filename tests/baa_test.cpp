// The block aligner's frame: files in, printed lines, the merged profile
// file out, its failures.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "blockalign/baa.hpp"
#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "profile/record.hpp"
#include "readers/gamma.hpp"
#include "readers/profiles.hpp"
#include "scoring/frequencies.hpp"
#include "scoring/scores.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"

using namespace xk;

namespace {

// Frequency tables in which a residue pairs mostly with itself, the same in
// every state.
ScoringTables toy_tables() {
  FrequencyTables f;
  f.matrix1.assign(static_cast<std::size_t>(kAminoAcids) * kAminoAcids * kScoredStates, 0.001f);
  f.matrix2.assign(static_cast<std::size_t>(kAminoAcids) * kScoredStates, 0.05f);
  for (int s = 1; s <= kScoredStates; ++s)
    for (int a = 1; a <= kAminoAcids; ++a) f.matrix1[m1_index(a, a, s)] = 0.05f;
  return prepare_tables(f);
}

void write_profile(const std::string& path, const std::string& seq) {
  ProfileWriter w(path);
  for (std::size_t r = 0; r < seq.size(); ++r)
    w.write(converter_record(static_cast<long>(r + 1), {'t', 'e', 's', 't'}, seq[r], letter_profile(seq[r])));
  w.close();
}

// A gamma file of n positions, every state equally likely.
void write_gamma(const std::string& path, std::size_t n) {
  std::string line = "GAMMA  ";
  for (int m = 0; m < kStates; ++m) line += fw::format_fixed(1.0 / kStates, 9, 6);
  std::string text;
  for (std::size_t r = 0; r < n; ++r) text += line + "\n";
  xktest::write_file(path, text);
}

std::string random_sequence(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> d(0, 19);
  std::string s;
  for (std::size_t r = 0; r < n; ++r) s += kResidueOrder[d(gen)];
  return s;
}

// Two inputs in a fresh working folder, which is the current folder while
// the object lives (the names of the frame are plain file names).
struct Pair {
  xktest::TempDir dir;
  std::filesystem::path previous = std::filesystem::current_path();
  std::string a, b;
  Pair(const std::string& seq1, const std::string& seq2, const std::string& stem1 = "A-B",
       const std::string& stem2 = "C") {
    std::filesystem::current_path(dir.path());
    a = stem1 + ".drct";
    b = stem2 + ".drct";
    write_profile(a, seq1);
    write_profile(b, seq2);
    write_gamma(stem1 + ".gca", seq1.size());
    write_gamma(stem2 + ".gca", seq2.size());
  }
  ~Pair() { std::filesystem::current_path(previous); }
  Pair(const Pair&) = delete;
  Pair& operator=(const Pair&) = delete;
};

}  // namespace

TEST(Baa, PrintsItsLinesAndWritesTheMergedProfile) {
  const std::string s1 = random_sequence(40, 1);
  std::string s2 = s1.substr(0, 35);
  s2[20] = s2[20] == 'W' ? 'Y' : 'W';
  Pair p(s1, s2);
  const ScoringTables t = toy_tables();
  std::ostringstream out;
  baa(p.a, p.b, 40, 35, t, 0.0f, 7, out);
  EXPECT_EQ(out.str(), " ...aligning (BAA): " + p.a + " " + p.b + "\n Maximum number of block: 3\n\n");
  const std::string merged = "A-B-C.drct";
  ASSERT_EQ(getdrctlen(merged), 40);
  const std::vector<float> prof = readdrct(merged);
  ProfileReader reader(merged);
  ProfileRecord rec;
  for (int r = 1; r <= 40; ++r) {
    ASSERT_TRUE(reader.next(rec));
    EXPECT_EQ(rec.resnum, r);
    float sum = 0;
    for (float v : rec.values) sum += v;
    EXPECT_NEAR(sum, 1.0f, 1e-5f);
    EXPECT_EQ(rec.letter, s1[static_cast<std::size_t>(r - 1)]);  // own residue keeps at least half
  }
  // Position 21 was aligned with the changed residue of the second input in
  // most samples: the partner's residue takes a good part of the other half.
  const std::size_t changed = std::string(kResidueOrder).find(s2[20]);
  EXPECT_GT(prof[20 * 20 + changed], 0.3f);

  // A fixed seed gives the same file again; the clock gives a file all the same.
  const std::string first = xktest::read_file(merged);
  std::ostringstream again;
  baa(p.a + "  ", p.b, 40, 35, t, 0.0f, 7, again);
  EXPECT_EQ(xktest::read_file(merged), first);
  baa(p.a, p.b, 40, 35, t, 0.0f, std::nullopt, again);
  EXPECT_EQ(getdrctlen(merged), 40);
}

TEST(Baa, ShortInputKeepsTheLongerProfile) {
  Pair p("ACDEFGH", "KLMNPQRSTVWY", "1", "2");
  std::ostringstream out;
  baa(p.a, p.b, 7, 12, toy_tables(), 0.0f, 1, out);
  EXPECT_NE(out.str().find(" Maximum number of block: 0\n\n"), std::string::npos);
  ProfileReader reader("1-2.drct");
  ProfileRecord rec;
  for (char c : std::string("KLMNPQRSTVWY")) {
    ASSERT_TRUE(reader.next(rec));
    EXPECT_EQ(rec.letter, c);
    EXPECT_EQ(rec.values, letter_profile(c));
  }
  EXPECT_FALSE(reader.next(rec));
}

TEST(Baa, MissingInputsAndUnwritableOutput) {
  Pair p("ACDEFGHIKL", "ACDEFGHIKL", "5", "6");
  const ScoringTables t = toy_tables();
  std::ostringstream out;
  std::filesystem::remove("6.gca");
  try {
    baa(p.a, p.b, 10, 10, t, 0.0f, 1, out);
    FAIL() << "no error";
  } catch (const IoError& e) {
    EXPECT_EQ(e.file(), "6.gca");
  }
  EXPECT_EQ(out.str(), " ...aligning (BAA): " + p.a + " " + p.b + "\n");
  EXPECT_THROW(baa("7.drct", p.b, 10, 10, t, 0.0f, 1, out), IoError);

  write_gamma("6.gca", 10);
  std::filesystem::create_directory("5-6.drct");
  EXPECT_THROW(baa(p.a, p.b, 10, 10, t, 0.0f, 1, out), IoError);
}
