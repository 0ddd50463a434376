// Gamma file readers: the fixed-width GAMMA fields and the RESIDUE letters.
#include <gtest/gtest.h>

#include <filesystem>

#include <random>

#include "common/ending.hpp"
#include "common/fixedwidth.hpp"
#include "readers/gamma.hpp"
#include "testutil.hpp"

using namespace xk;
namespace fw = xk::fw;

namespace {

std::string gamma_line(const std::string& field, int count) {
  std::string s = "GAMMA  ";
  for (int i = 0; i < count; ++i) s += field;
  return s + "\n";
}

}  // namespace

TEST(ReadGamma, FullAndShortLines) {
  std::string text = gamma_line(" 0.003546", 282) + gamma_line(" 0.003546", 100);
  std::vector<float> t(2 * kStates, -1.0f);
  parse_gamma_text(text, 2, t);
  for (int m = 0; m < kStates; ++m) EXPECT_FLOAT_EQ(t[m], 0.003546f) << m;
  for (int m = 0; m < 100; ++m) EXPECT_FLOAT_EQ(t[kStates + m], 0.003546f) << m;
  for (int m = 100; m < kStates; ++m) EXPECT_EQ(t[kStates + m], 0.0f) << m;
}

TEST(ReadGamma, EachFieldInItsOwnNineColumns) {
  // Field m holds m/1000: an off-by-one in the field grid shows at once.
  std::string line = "GAMMA  ";
  for (int m = 0; m < kStates; ++m) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%9.6f", m / 1000.0);
    line += buf;
  }
  ASSERT_EQ(line.size(), 2545u);
  std::vector<float> t(kStates);
  parse_gamma_text("RESIDUE AAAAAAAAAAAA\n" + line + "\n", 1, t);
  for (int m = 0; m < kStates; ++m) EXPECT_FLOAT_EQ(t[m], static_cast<float>(m / 1000.0)) << m;
}

TEST(ReadGamma, WholeLinesAgreeWithTheFieldRulesOnEveryVectorPath) {
  // Random lines of the tool's usual fields, some with one field written
  // another way (an exponent, a lone point, digits without a point) at a
  // random place: every value must be what the general field rules read,
  // on each vector path this processor runs.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(0.0, 9.999999);
  std::uniform_int_distribution<int> pick(0, kStates - 1);
  const char* odd[] = {" 5.0E-01 ", "   .25   ", "  1000000", "-0.125000", "         "};
  for (int trial = 0; trial < 60; ++trial) {
    std::vector<std::string> fields(kStates);
    for (auto& f : fields) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%9.6f", trial % 3 == 0 ? u(rng) : u(rng) / 10.0);
      f = buf;
    }
    if (trial % 2 == 1) fields[static_cast<std::size_t>(pick(rng))] = odd[trial % 5];
    std::string line = "GAMMA  ";
    for (const auto& f : fields) line += f;
    for (VectorPath path : usable_vector_paths()) {
      std::vector<float> t(kStates);
      parse_gamma_text(line + "\n", 1, t, path);
      for (int m = 0; m < kStates; ++m) {
        const auto want = fw::parse_field(fields[static_cast<std::size_t>(m)], 6);
        ASSERT_TRUE(want.has_value());
        ASSERT_EQ(t[static_cast<std::size_t>(m)], static_cast<float>(*want))
            << vector_path_name(path) << " trial " << trial << " field " << m;
      }
    }
  }
}

TEST(ReadGamma, FieldRules) {
  std::string fields = "   .5    " + std::string("     1234") + "         " + "  1000000" + " 1.0E-01 ";
  std::vector<float> t(kStates);
  parse_gamma_text("GAMMA  " + fields + "\n", 1, t);
  EXPECT_FLOAT_EQ(t[0], 0.5f);
  EXPECT_FLOAT_EQ(t[1], 0.001234f);
  EXPECT_EQ(t[2], 0.0f);
  EXPECT_FLOAT_EQ(t[3], 1.0f);
  EXPECT_FLOAT_EQ(t[4], 0.1f);
}

TEST(ReadGamma, LettersInAFieldStopTheRun) {
  // A short line, and a full line whose one odd field has the usual frame
  // (blank, digit, point, six characters) around a letter or a colon (the
  // byte after '9'): no vector path may take it for a number.
  std::vector<std::string> lines = {"GAMMA   0.100000 abcdefgh"};
  for (const char* odd : {" 0.1234a6", " 0.12345:", " :.123456"}) {
    std::string line = "GAMMA  ";
    for (int m = 0; m < kStates; ++m) line += m == 137 ? odd : " 0.100000";
    lines.push_back(line);
  }
  std::vector<float> t(kStates);
  for (VectorPath path : usable_vector_paths()) {
    for (const std::string& line : lines) {
      try {
        parse_gamma_text(line + "\n", 1, t, path);
        ADD_FAILURE() << vector_path_name(path) << " took " << line.substr(7 + 137 * 9, 9);
      } catch (const FatalStop& e) {
        EXPECT_STREQ(e.what(), "ERROR: Bad gammaline!!!");
      }
    }
  }
}

TEST(ReadGamma, OnlyLinesStartingWithTheTagCount) {
  std::string text = "gamma   0.500000\n GAMMA  0.500000\nHEADER x\n" + gamma_line(" 0.250000", 3) +
                     "RESIDUE A\n" + gamma_line(" 0.125000", 3);
  std::vector<float> t(2 * kStates);
  parse_gamma_text(text, 2, t);
  EXPECT_FLOAT_EQ(t[0], 0.25f);
  EXPECT_FLOAT_EQ(t[kStates], 0.125f);
}

TEST(ReadGamma, RowsAfterTheLastLineStayZero) {
  std::string text;
  for (int k = 0; k < 5; ++k) text += gamma_line(" 0.500000", 282);
  std::vector<float> t(7 * kStates, 9.0f);
  parse_gamma_text(text, 7, t);
  EXPECT_FLOAT_EQ(t[4 * kStates + 281], 0.5f);
  for (int m = 0; m < 2 * kStates; ++m) EXPECT_EQ(t[5 * kStates + m], 0.0f);
}

TEST(ReadGamma, SurplusLinesAreIgnoredNotWrittenPastTheTable) {
  xktest::TempDir dir;
  std::string text;
  for (int k = 0; k < 4; ++k) text += gamma_line(" 0.500000", 282);
  xktest::write_file(dir.file("1.gca"), text);
  std::vector<float> t = readgamma(dir.file("1.gca"), 2);
  ASSERT_EQ(t.size(), 2u * kStates);
  EXPECT_FLOAT_EQ(t.back(), 0.5f);
}

TEST(ReadGamma, CrLfLineEndsReadTheSame) {
  std::vector<float> t(kStates);
  parse_gamma_text("GAMMA   0.500000 0.250000\r\n", 1, t);
  EXPECT_FLOAT_EQ(t[1], 0.25f);
}

// What the main program reads must cover every position with a whole
// line: a file cut short (fewer lines, or a cut last line) or a folder is
// refused naming it; the classic reading takes the lines as found.
TEST(ReadGamma, CutFilesAndFoldersAreRefusedNamingThem) {
  xktest::TempDir dir;
  std::string three;
  for (int k = 0; k < 3; ++k) three += gamma_line(" 0.500000", 282);
  const std::string few = dir.file("few.gca"), cut = dir.file("cut.gca"), folder = dir.file("folder.gca");
  xktest::write_file(few, three);
  xktest::write_file(cut, three.substr(0, three.size() - 1000));
  std::filesystem::create_directory(folder);
  for (const auto& [file, reason] : {std::pair{few, "3 GAMMA lines for 4 positions"},
                                     std::pair{cut, "GAMMA line 3 holds 171 of 282 fields"}}) {
    try {
      readgamma(file, 4 - (file == cut));
      FAIL() << file;
    } catch (const IoError& e) {
      EXPECT_EQ(e.file(), file);
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(readgamma(folder, 1), IoError);
  const std::vector<float> as_found = readgamma(few, 4, GammaRows::as_found);
  EXPECT_FLOAT_EQ(as_found[2 * kStates], 0.5f);
  EXPECT_EQ(as_found[3 * kStates], 0.0f);
  EXPECT_EQ(readgamma(few, 3).size(), 3u * kStates);
}

TEST(ReadGamma, MissingFileIsAnIoErrorNamingIt) {
  try {
    readgamma("/nonexistent/7.gca", 3);
    FAIL();
  } catch (const IoError& e) {
    EXPECT_EQ(e.file(), "/nonexistent/7.gca");
  }
}

TEST(ReadGcaseq, LettersOfColumnsNineToTwenty) {
  xktest::TempDir dir;
  xktest::write_file(dir.file("1.gca"),
                     "RESIDUE MKVLAAGIVGX-WWWW\nGAMMA  0\nRESIDUE ACDEFGHIKLMN\nRESIDUE PQRSTVWY\nresidue AAAA\n");
  // "X" keeps its place (its profile row and gamma line exist); "-" and
  // everything after column 20 are dropped.
  EXPECT_EQ(readgcaseq(dir.file("1.gca")), "MKVLAAGIVGXACDEFGHIKLMNPQRSTVWY");
}

TEST(ReadGcaseq, AmbiguousResiduesKeepTheirPlace) {
  xktest::TempDir dir;
  xktest::write_file(dir.file("2.gca"), "RESIDUE ABZXC\n");
  std::string seq = readgcaseq(dir.file("2.gca"));
  EXPECT_EQ(seq, "ABZXC");
  EXPECT_EQ(seq[4], 'C');  // position 5 is still C
}

TEST(ReadGcaseq, MissingFileIsANotFoundReport) {
  try {
    readgcaseq("none.gca");
    FAIL();
  } catch (const NotFound& e) {
    EXPECT_STREQ(e.what(), "ERROR: gcb file not found - none.gca");
  }
}

TEST(ReadGcaseq, NoResidueLinesGiveAnEmptyText) {
  xktest::TempDir dir;
  xktest::write_file(dir.file("3.gca"), "GAMMA  \n");
  EXPECT_EQ(readgcaseq(dir.file("3.gca")), "");
}
