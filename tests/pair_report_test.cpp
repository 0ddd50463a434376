#include "driver/pair_report.hpp"

#include <gtest/gtest.h>

#include <string>

#include "common/ending.hpp"

namespace {

using xk::DpResult;
using xk::driver::identity_fraction;
using xk::driver::pair_report;
using xk::driver::progress_bar;

// A dp result: the shown states from the alignment's start (after the
// predecessor letter `pred`), written backwards and padded as dp does.
DpResult result(int n1, int n2, char pred, const std::string& shown, std::size_t N, bool restart = false) {
  std::string forward = std::string(restart ? "E" : "") + pred + shown;
  DpResult r;
  r.n1 = n1;
  r.n2 = n2;
  r.path.assign(forward.rbegin(), forward.rend());
  r.path.resize(N, ' ');
  return r;
}

TEST(PairReport, WorkedDpExample) {
  // Cells (2,2) and (3,3) of two 3-residue inputs; path "MMME" + blanks.
  DpResult r;
  r.n1 = 3;
  r.n2 = 3;
  r.path = "MMME  ";
  const auto rep = pair_report("1.gca", "2.gca", "KVL", "RVL", r);
  EXPECT_EQ(rep.text,
            "Initial pairwise alignment: 1.gca, 2.gca\n"
            "QUERY           2   VL      3\n"
            "TARGET          2   VL      3\n"
            "\n"
            "\n");
  EXPECT_EQ(rep.row1, "VL");
  EXPECT_EQ(rep.row2, "VL");
}

TEST(PairReport, GapOnEitherSide) {
  // MKVWLA against MRVQLA: M M M I D M M (W of the query against a gap, then
  // Q of the target against a gap).
  const auto r = result(2, 2, 'M', "MMMIDMM", 12);
  const auto rep = pair_report("1.gca", "12.gca", "MKVWLA", "MRVQLA", r);
  EXPECT_EQ(rep.text,
            "Initial pairwise alignment: 1.gca, 12.gca\n"
            "QUERY           1   MKVW.LA      6\n"
            "TARGET          1   MRV.QLA      6\n"
            "\n"
            "\n");
}

TEST(PairReport, BlocksOfFiftyWithStartNumbers) {
  // 57 shown columns starting at query 1, target 3: 20 M, a target residue
  // against a gap, 20 M, a query residue against a gap, 15 M.
  const std::string p1 = "MKVLSEGDWQLVNAHPRTYF", p2 = "ICDGSNWERTKLMPQVHAYS", p3 = "DFKRLEGTWNPAVCI";
  const std::string seq1 = p1 + p2 + "W" + p3, seq2 = "GH" + p1 + "C" + p2 + p3;
  const auto r = result(2, 4, 'M', std::string(20, 'M') + "D" + std::string(20, 'M') + "I" + std::string(15, 'M'),
                        seq1.size() + seq2.size());
  const auto rep = pair_report("1.gca", "2.gca", seq1, seq2, r);
  EXPECT_EQ(rep.text,
            "Initial pairwise alignment: 1.gca, 2.gca\n"
            "QUERY           1   MKVLSEGDWQLVNAHPRTYF.ICDGSNWERTKLMPQVHAYSWDFKRLEGT     49\n"
            "TARGET          3   MKVLSEGDWQLVNAHPRTYFCICDGSNWERTKLMPQVHAYS.DFKRLEGT     51\n"
            "\n"
            "QUERY          50   WNPAVCI     56\n"
            "TARGET         52   WNPAVCI     58\n"
            "\n"
            "\n");
  EXPECT_FLOAT_EQ(identity_fraction(rep.row1, rep.row2), 55.0f / 56.0f);
}

TEST(PairReport, RowWithoutResidueInABlock) {
  // 50 matches, then 5 query residues against gaps: the target row of the
  // second block shows its first number one greater than its last.
  const std::string seq1(55, 'A'), seq2(50, 'A');
  const auto r = result(2, 2, 'M', std::string(50, 'M') + "IIIII", 105);
  const auto rep = pair_report("1.gca", "2.gca", seq1, seq2, r);
  const std::string tail =
      "QUERY          51   AAAAA     55\n"
      "TARGET         51   .....     50\n"
      "\n"
      "\n";
  ASSERT_GE(rep.text.size(), tail.size());
  EXPECT_EQ(rep.text.substr(rep.text.size() - tail.size()), tail);
}

TEST(PairReport, ThreeBlocksForOneHundredTwentyColumns) {
  const std::string seq(120, 'G');
  const auto rep = pair_report("1.gca", "2.gca", seq, seq, result(2, 2, 'M', std::string(120, 'M'), 240));
  EXPECT_NE(rep.text.find("QUERY         101   " + std::string(20, 'G') + "    120\n"), std::string::npos);
  EXPECT_EQ(std::count(rep.text.begin(), rep.text.end(), '\n'), 1 + 3 * 3 + 1);
}

TEST(PairReport, NoPositiveScoreGivesHeaderOnly) {
  // dp's answer when no score is positive: "D" then blanks, start cell (0, 0).
  DpResult r;
  r.n1 = 1;
  r.n2 = 1;
  r.path = "D       ";
  const auto rep = pair_report("1.gca", "2.gca", "AAAA", "CCCC", r);
  EXPECT_EQ(rep.text, "Initial pairwise alignment: 1.gca, 2.gca\n\n");
  EXPECT_EQ(rep.row1, "");
  EXPECT_EQ(identity_fraction(rep.row1, rep.row2), 0.0f);
}

TEST(PairReport, AResidueTextShorterThanTheAlignmentIsAClearStop) {
  try {
    pair_report("1.gca", "2.gca", "MK", "MKT", result(2, 2, 'M', "MMM", 6));
    FAIL() << "no stop";
  } catch (const xk::FatalStop& e) {
    EXPECT_STREQ(e.what(), "ERROR: Residue 3 missing in 1.gca!!!");
  }
}

TEST(PairReport, RowsLongerThan9999ColumnsAreKeptWhole) {
  // 9999 residues each; 5000 matched, 4999 of each against gaps: 14998 columns.
  const std::string seq1(9999, 'A'), seq2(9999, 'A');
  const std::string shown = std::string(5000, 'M') + std::string(4999, 'I') + std::string(4999, 'D');
  const auto rep = pair_report("1.gca", "2.gca", seq1, seq2, result(2, 2, 'M', shown, 19998));
  EXPECT_EQ(rep.row1.size(), 14998u);
  EXPECT_EQ(rep.row2.size(), 14998u);
  EXPECT_EQ(std::count(rep.row1.begin(), rep.row1.end(), 'A'), 9999);
  EXPECT_EQ(std::count(rep.row2.begin(), rep.row2.end(), 'A'), 9999);
  EXPECT_EQ(std::count(rep.text.begin(), rep.text.end(), '\n'), 1 + 300 * 3 + 1);
  // The last block: 48 target residues against gaps; the query row's next
  // residue number, 10000, does not fit its 4 columns.
  EXPECT_NE(rep.text.find("QUERY        ****   " + std::string(48, '.') + "   9999\n"
                          "TARGET       9952   " + std::string(48, 'A') + "   9999\n\n\n"),
            std::string::npos);
  EXPECT_FLOAT_EQ(identity_fraction(rep.row1, rep.row2), 5000.0f / 9999.0f);
}

TEST(IdentityFraction, Cases) {
  EXPECT_FLOAT_EQ(identity_fraction("MKV.LA", "MRVQLA"), 0.8f);  // 4 / c1 = 5
  EXPECT_FLOAT_EQ(identity_fraction("MRVQLA", "MKV.LA"), 0.8f);  // 4 / c2 = 5
  EXPECT_FLOAT_EQ(identity_fraction("AC", "AD"), 0.5f);          // equal counts
  EXPECT_FLOAT_EQ(identity_fraction("ak", "ak"), 1.0f);          // lower case counts and matches
  EXPECT_FLOAT_EQ(identity_fraction("AX", "AX"), 1.0f);          // X against X does not count
  EXPECT_FLOAT_EQ(identity_fraction("AB~*-Z", "ACDEFG"), 1.0f);
  EXPECT_FLOAT_EQ(identity_fraction("MKV   ", "MKV"), 1.0f);  // trailing blanks of row 1 end it
}

TEST(IdentityFraction, NoResiduesGivesZero) {
  EXPECT_EQ(identity_fraction("", ""), 0.0f);
  EXPECT_EQ(identity_fraction("...", "AAA"), 0.0f);
  EXPECT_EQ(identity_fraction("XXX", "AAA"), 0.0f);
  EXPECT_EQ(identity_fraction("AAA", "..."), 0.0f);
}

TEST(ProgressBar, ThreePairs) {
  EXPECT_EQ(progress_bar(1, 3), "\r 33% |" + std::string(16, '=') + ">");
  EXPECT_EQ(progress_bar(2, 3), "\r 66% |" + std::string(33, '=') + ">");
  EXPECT_EQ(progress_bar(3, 3), "\r100% |" + std::string(50, '=') + "|\n");
  EXPECT_EQ(progress_bar(1, 1), "\r100% |" + std::string(50, '=') + "|\n");
  EXPECT_EQ(progress_bar(1, 300), "\r  0% |>");
}

}  // namespace
