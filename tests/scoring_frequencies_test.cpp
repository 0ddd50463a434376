// The data files "observed" and "expected" and the loading step.
#include <gtest/gtest.h>

#include "common/ending.hpp"
#include "scoring/frequencies.hpp"
#include "scoring_fixture.hpp"
#include "testutil.hpp"

using namespace xk;
using xktest::freq_field;

namespace {

// A small observed file: d1 x d2 blocks, each line's fields given.
std::string row(std::initializer_list<std::string> fields) {
  std::string s;
  for (const auto& f : fields) s += f;
  return s + "\n";
}

std::string stop_message(const std::function<void()>& f) {
  try {
    f();
  } catch (const FatalStop& e) {
    return e.what();
  }
  return "(no stop)";
}

}  // namespace

TEST(Observed, LoadsEveryBlockWithEitherSeparatorStyle) {
  xktest::TempDir dir;
  const FrequencyTables t = xktest::synthetic_tables(1);
  std::vector<float> got(t.matrix1.size(), -1.0f);
  for (const std::string sep : {"  state title\n\n", "\n\n"}) {
    xktest::write_file(dir.file("observed"), xktest::observed_text(t.matrix1, sep));
    readmatrix(dir.file("observed"), got, 20, 20, kScoredStates);
    ASSERT_EQ(got, t.matrix1) << "separators: " << sep;
  }
  // The same values written without points, 7 implied decimals.
  xktest::write_file(dir.file("observed"), xktest::observed_text(t.matrix1, "x\n\n", true));
  readmatrix(dir.file("observed"), got, 20, 20, kScoredStates);
  EXPECT_EQ(got, t.matrix1);
}

TEST(Observed, FieldRules) {
  xktest::TempDir dir;
  // Line 1: a field with a point, one with implied decimals, a blank one, an
  // exponent, blanks inside a field; line 2 is short (missing fields are 0)
  // and line 3 carries junk after column 300 and is longer than 1000.
  std::string l1 = row({"      0.0123456", "        1234567", std::string(15, ' '), "        1.5E-03", "   12  34      "});
  std::string l3 = row({freq_field(0.25f), freq_field(0.5f), freq_field(0.75f)});
  l3.pop_back();
  l3 += std::string(300 - l3.size(), ' ') + "junk" + std::string(2000, 'z') + "\n";
  const std::string text = l1 + row({freq_field(2.0f)}) + l3 + "\n\n";
  xktest::write_file(dir.file("obs"), text);
  std::vector<float> m(3 * 5 * 2, -1.0f);
  readmatrix(dir.file("obs"), m, 3, 5, 2);
  EXPECT_FLOAT_EQ(m[0], 0.0123456f);
  EXPECT_FLOAT_EQ(m[1], 0.1234567f);
  EXPECT_EQ(m[2], 0.0f);
  EXPECT_FLOAT_EQ(m[3], 1.5e-3f);
  EXPECT_FLOAT_EQ(m[4], 0.0001234f);
  EXPECT_EQ(m[5], 2.0f);
  EXPECT_EQ(m[6], 0.0f);
  EXPECT_EQ(m[10], 0.25f);
  EXPECT_EQ(m[12], 0.75f);
  EXPECT_EQ(m[13], 0.0f);
  for (std::size_t k = 15; k < m.size(); ++k) EXPECT_EQ(m[k], 0.0f) << k;  // block 2 never came
}

TEST(Observed, BlankLineEndsABlockAndSeparatorsDecideTheBlock) {
  xktest::TempDir dir;
  // Block 1: one row, then a blank line (ends it early), then the two
  // separator lines.  Block 2: its second separator is not blank, so the next
  // rows overwrite block 2.  Block 2 again, well separated.  Block 3: none.
  const std::string text = row({freq_field(1.0f), freq_field(1.5f)}) + "\n" + "sep\n\n" +
                           row({freq_field(2.0f), freq_field(2.5f)}) + row({freq_field(3.0f), freq_field(3.5f)}) +
                           "sep\nnot blank\n" + row({freq_field(4.0f)}) + row({freq_field(5.0f)}) + "sep\n   \n";
  xktest::write_file(dir.file("obs"), text);
  std::vector<float> m(2 * 2 * 3, -1.0f);
  readmatrix(dir.file("obs"), m, 2, 2, 3);
  const std::vector<float> want = {1.0f, 1.5f, 0.0f, 0.0f, 4.0f, 0.0f, 5.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_EQ(m, want);
}

TEST(Observed, CarriageReturnLineEndsReadLikePlainOnes) {
  xktest::TempDir dir;
  xktest::write_file(dir.file("obs"), row({freq_field(1.0f)}).insert(15, "\r") + "t\r\n\r\n" + row({freq_field(2.0f)}));
  std::vector<float> m(2, -1.0f);
  readmatrix(dir.file("obs"), m, 1, 1, 2);
  EXPECT_EQ(m, (std::vector<float>{1.0f, 2.0f}));
}

TEST(Observed, BadFieldAndMissingFile) {
  xktest::TempDir dir;
  xktest::write_file(dir.file("obs"), row({freq_field(1.0f), "      0.01x2345"}) + "\n\n");
  std::vector<float> m(4);
  EXPECT_EQ(stop_message([&] { readmatrix(dir.file("obs"), m, 2, 2, 1); }), "ERROR: Bad substitution matrix!!!");
  try {
    readmatrix(dir.file("absent") + "   ", m, 2, 2, 1);
    FAIL() << "no NotFound";
  } catch (const NotFound& e) {
    EXPECT_EQ(e.prefix(), "ERROR: File not found -");
    EXPECT_EQ(e.file(), dir.file("absent"));  // trailing blanks are not part of the name
  }
}

TEST(Expected, BlankLinesShortLinesAndTheLastState) {
  xktest::TempDir dir;
  const FrequencyTables t = xktest::synthetic_tables(2);
  std::string text = xktest::expected_text(t.matrix2);
  // Blank lines anywhere are skipped; a 282nd data line is never read, even
  // a bad one.
  text.insert(0, "\n   \n");
  text.insert(text.find('\n', 400) + 1, "\n");
  text += "not a number at all\n";
  xktest::write_file(dir.file("expected"), text);
  std::vector<float> m2(t.matrix2.size(), -1.0f);
  readexpected(dir.file("expected"), m2, 20, kScoredStates);
  EXPECT_EQ(m2, t.matrix2);

  // A line of 10 numbers fills columns 11..20 with 0; a short file leaves
  // the remaining states 0.
  xktest::write_file(dir.file("short"), std::string(10 * 15, ' ').replace(14, 1, "7") + "\n");
  readexpected(dir.file("short"), m2, 20, kScoredStates);
  EXPECT_FLOAT_EQ(m2[0], 7e-7f);
  for (std::size_t k = 1; k < m2.size(); ++k) ASSERT_EQ(m2[k], 0.0f) << k;

  xktest::write_file(dir.file("bad"), row({freq_field(1.0f), "          abcde"}));
  EXPECT_EQ(stop_message([&] { readexpected(dir.file("bad"), m2, 20, kScoredStates); }), "ERROR: Bad matrix2!!!");
  EXPECT_THROW(readexpected(dir.file("none"), m2, 20, kScoredStates), NotFound);
}

TEST(LoadingStep, ReadsBothFilesThenAddsPseudoCounts) {
  xktest::TempDir dir;
  const FrequencyTables t = xktest::synthetic_tables(3);
  xktest::write_file(dir.file("observed"), xktest::observed_text(t.matrix1));
  xktest::write_file(dir.file("expected"), xktest::expected_text(t.matrix2));
  const FrequencyTables got = load_frequency_tables(dir.file("observed"), dir.file("expected"));
  ASSERT_EQ(got.matrix1.size(), t.matrix1.size());
  ASSERT_EQ(got.matrix2.size(), t.matrix2.size());
  int zeros = 0;
  for (std::size_t k = 0; k < t.matrix1.size(); ++k) {
    if (t.matrix1[k] == 0.0f) {
      ++zeros;
      EXPECT_EQ(got.matrix1[k], 1.0e-9f * 1.0e-9f);
    } else {
      EXPECT_EQ(got.matrix1[k], t.matrix1[k] + 1.0e-18f);  // unchanged for values of real size
    }
  }
  EXPECT_GT(zeros, 0);
  for (std::size_t k = 0; k < t.matrix2.size(); ++k) EXPECT_EQ(got.matrix2[k], t.matrix2[k] + 1.0e-9f);

  // A file with nothing in it: every entry is the pseudo-count alone.
  xktest::write_file(dir.file("empty"), "");
  const FrequencyTables none = load_frequency_tables(dir.file("empty"), dir.file("empty"));
  for (float x : none.matrix1) ASSERT_EQ(x, 1.0e-9f * 1.0e-9f);
  for (float x : none.matrix2) ASSERT_EQ(x, 1.0e-9f);
  EXPECT_THROW(load_frequency_tables(dir.file("observed"), dir.file("nope")), NotFound);
}
