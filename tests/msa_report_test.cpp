// The initial multiple alignment's reports, byte for byte: the two-row
// report of one alignment against the parent, and the final listing.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "driver/msa_report.hpp"

using namespace xk;

namespace {

// A dp result whose cells, from first to last, have the given states;
// `pred` is the state recorded for the first cell's predecessor, and
// `restart` adds the zero-floor "E".
DpResult path_result(int n1, int n2, const std::string& states, char pred, bool restart, std::size_t N) {
  DpResult r;
  r.n1 = n1;
  r.n2 = n2;
  r.path = std::string(states.rbegin(), states.rend());
  r.path += pred;
  if (restart) r.path += 'E';
  r.path.resize(N, ' ');
  return r;
}

std::string line(const std::string& word, const std::string& first, const std::string& cols, const std::string& last) {
  return word + first + "   " + cols + "   " + last + "\n";
}

}  // namespace

TEST(AlignmentReport, HandWorkedAlignmentWithAGap) {
  // Parent residues 2-8 against sequence residues 3-10; the sequence's W
  // stands opposite no parent residue.
  const std::string parent = "MKTAYIAKQR", child = "GGKTAWYIAK";
  DpResult r = path_result(3, 4, "MMMDMMMM", 'M', true, 20);
  std::ostringstream out;
  AlignedRows rows = report_alignment(out, "1-2.drct", "3.drct", parent, child, r);
  EXPECT_EQ(out.str(), "Multiple sequence alignment (Iteration 1): 1-2.drct, 3.drct\n" +
                           line("PARENT       ", "   2", "KTA.YIAK", "   8") +
                           line("CHILD        ", "   3", "KTAWYIAK", "  10") + "\n\n");
  EXPECT_EQ(rows.parent, "KTA.YIAK");
  EXPECT_EQ(rows.child, "KTAWYIAK");
  EXPECT_EQ(rows.first_parent, 2);
  EXPECT_EQ(rows.first_child, 3);
}

TEST(AlignmentReport, FirstShownLetterDecidesTheFirstColumn) {
  // "I": a parent residue opposite "."; "D": "." opposite a sequence residue.
  std::ostringstream out;
  AlignedRows rows = report_alignment(out, "P.drct", "1.drct", "ACDE", "WY", path_result(2, 2, "IM", 'M', false, 6));
  EXPECT_EQ(rows.parent, "AC");
  EXPECT_EQ(rows.child, ".W");
  rows = report_alignment(out, "P.drct", "1.drct", "ACDE", "WY", path_result(2, 2, "DM", 'M', false, 6));
  EXPECT_EQ(rows.parent, ".A");
  EXPECT_EQ(rows.child, "WY");
}

TEST(AlignmentReport, BlocksOfFiftySteps) {
  std::string seq;
  for (int i = 0; i < 60; ++i) seq += "ACDEFGHIKLMNPQRSTVWY"[i % 20];
  // 51 shown cells (52 packed letters): two blocks, the second with one column.
  std::ostringstream out;
  AlignedRows rows = report_alignment(out, "1-2.drct", "1.drct", seq, seq,
                                      path_result(2, 2, std::string(51, 'M'), 'M', false, 120));
  const std::string first50 = seq.substr(0, 50);
  EXPECT_EQ(out.str(), "Multiple sequence alignment (Iteration 1): 1-2.drct, 1.drct\n" +
                           line("PARENT       ", "   1", first50, "  50") +
                           line("CHILD        ", "   1", first50, "  50") + "\n" +
                           line("PARENT       ", "  51", seq.substr(50, 1), "  51") +
                           line("CHILD        ", "  51", seq.substr(50, 1), "  51") + "\n\n");
  EXPECT_EQ(rows.parent.size(), 51u);
  // 50 shown cells (51 packed letters): one block.
  std::ostringstream one;
  report_alignment(one, "1-2.drct", "1.drct", seq, seq, path_result(2, 2, std::string(50, 'M'), 'M', false, 120));
  EXPECT_EQ(one.str(), "Multiple sequence alignment (Iteration 1): 1-2.drct, 1.drct\n" +
                           line("PARENT       ", "   1", first50, "  50") +
                           line("CHILD        ", "   1", first50, "  50") + "\n\n");
}

TEST(AlignmentReport, EmptyAlignmentAndWideNumbers) {
  // Nothing scored above zero: no block, empty rows.
  std::ostringstream out;
  AlignedRows rows = report_alignment(out, "1.drct", "1.drct", "AC", "AC", path_result(1, 1, "", 'D', false, 4));
  EXPECT_EQ(out.str(), "Multiple sequence alignment (Iteration 1): 1.drct, 1.drct\n\n");
  EXPECT_TRUE(rows.parent.empty());
  EXPECT_EQ(rows.first_parent, 0);
  // A residue number of 10000 does not fit four columns.
  std::string longseq(10001, 'A');
  std::ostringstream wide;
  report_alignment(wide, "1.drct", "2.drct", longseq, "A", path_result(10001, 2, "M", 'M', false, 10002));
  EXPECT_NE(wide.str().find("PARENT       ****   A   ****\n"), std::string::npos);
}

TEST(AlignmentReport, ShortResidueTextIsAClearStop) {
  std::ostringstream out;
  try {
    report_alignment(out, "1-2.drct", "3.drct", "MK", "MKT", path_result(2, 2, "MMM", 'M', false, 5));
    FAIL() << "no stop";
  } catch (const FatalStop& e) {
    EXPECT_STREQ(e.what(), "ERROR: Residue 3 missing in 1-2.gca!!!");
  }
}

TEST(MsaListing, BlocksOfFiftyWithTrueResidueNumbers) {
  const std::string a = std::string("MKTAYIAKQR") + "MKTAYIAKQR" + "MKTAYIAKQR" + "MKTAYIAKQR" + "MKTAYIAKQR" + "QISFV";
  // Ambiguous letters: the X letters count, so the numbers stay those of the sequence.
  const std::string b = "....." + std::string("MKXAYIAKQR") + "MKXAYIAKQR" + "MKXAYIAKQR" + "MKXAYIAKQR" + ".....";
  const std::string b_full = b + ".....";
  std::vector<std::string> ids = {"seqA", "a_much_longer_id"};
  std::vector<std::string> rows = {a, b_full};
  std::vector<int> first = {1, 7};
  std::ostringstream out;
  write_msa_listing(out, ids, rows, first);
  EXPECT_EQ(out.str(), "Multiple sequence alignment (Iteration 1): \n" +
                           line("seqA         ", "   1", a.substr(0, 50), "  50") +
                           line("a_much_longer", "   7", b, "  46") + "\n" +
                           line("seqA         ", "  51", "QISFV" + std::string(45, ' '), "  55") +
                           line("a_much_longer", "  47", "....." + std::string(45, ' '), "  46") + "\n");
}

TEST(MsaListing, EveryLineCarriesFiftyColumnsAndNumbersFollowOn) {
  std::string row;
  for (int i = 0; i < 237; ++i) row += (i % 7 == 3) ? '.' : "ACDEFGHIKLMNPQRSTVWYX"[i % 21];
  std::ostringstream out;
  write_msa_listing(out, std::vector<std::string>{"s"}, std::vector<std::string>{row}, std::vector<int>{12});
  std::istringstream in(out.str());
  std::string l;
  std::getline(in, l);
  int prev_close = 11, blocks = 0;
  std::string shown;
  while (std::getline(in, l)) {
    if (l.empty()) continue;
    ASSERT_EQ(l.size(), 13u + 4 + 3 + 50 + 3 + 4);
    const int open = std::stoi(l.substr(13, 4)), close = std::stoi(l.substr(73, 4));
    EXPECT_EQ(open, prev_close + 1);  // a row's closing number is one below the next block's opening
    prev_close = close;
    shown += l.substr(20, 50);
    ++blocks;
  }
  EXPECT_EQ(blocks, 5);
  EXPECT_EQ(shown.substr(0, row.size()), row);
  int letters = 0;
  for (char c : row) letters += c != '.';
  EXPECT_EQ(prev_close, 11 + letters);
}

TEST(MsaListing, AssembleAndListTwoSequences) {
  // Sequence 1 covers parent residues 1-6 (a gap after 3), sequence 2
  // residues 3-8; both listed in the common column system.
  std::vector<AlignedRows> al(2);
  al[0] = {"MKT.AY", "MKTWAY", 1, 1};
  al[1] = {"TAYIAK", "TAFIAK", 3, 5};
  std::ostringstream out;
  auto msa = assemble_and_list(out, std::vector<std::string>{"one", "two"}, al);
  EXPECT_EQ(msa.rows, (std::vector<std::string>{"MKTWAY...", "..T.AFIAK"}));
  // The parent residue of every column, 0 for the gap column of sequence 1's
  // W; the rows' first residues as the alignments gave them.
  EXPECT_EQ(msa.parent_residue, (std::vector<int>{1, 2, 3, 0, 4, 5, 6, 7, 8}));
  EXPECT_EQ(msa.first_residue, (std::vector<int>{1, 5}));
  const std::string pad(41, ' ');
  EXPECT_EQ(out.str(), "Multiple sequence alignment (Iteration 1): \n" +
                           line("one          ", "   1", "MKTWAY..." + pad, "   6") +
                           line("two          ", "   5", "..T.AFIAK" + pad, "  10") + "\n");
}

TEST(MsaListing, RowsPastTenThousandColumnsAreListedWhole) {
  std::string row;
  for (int i = 0; i < 10020; ++i) row += "ACDEFGHIKLMNPQRSTVWY"[i % 20];
  std::ostringstream out;
  write_msa_listing(out, std::vector<std::string>{"long"}, std::vector<std::string>{row}, std::vector<int>{1});
  std::istringstream in(out.str());
  std::string l, shown;
  std::getline(in, l);
  while (std::getline(in, l)) {
    if (!l.empty()) shown += l.substr(20, 50);
  }
  EXPECT_EQ(shown.substr(0, row.size()), row);
  EXPECT_EQ(shown.size(), 201u * 50);
  EXPECT_NE(out.str().find("long         ****   " + row.substr(10000, 20) + std::string(30, ' ') + "   ****\n"),
            std::string::npos);
}
