#include "driver/fasta_input.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "common/ending.hpp"

namespace {

using xk::driver::FastaSequence;
using xk::driver::header_word;
using xk::driver::read_fasta;

std::vector<FastaSequence> read(const std::string& text) {
  std::istringstream in(text);
  return read_fasta(in, "in.fa");
}

std::string stop_message(const std::string& text) {
  try {
    read(text);
  } catch (const xk::FatalStop& e) {
    return e.what();
  }
  return "no stop";
}

TEST(FastaInput, HeaderWordAndIdentifier) {
  EXPECT_EQ(header_word(">seq1 (1abc) globin"), "1abc");
  EXPECT_EQ(header_word(">P12345"), "");
  EXPECT_EQ(header_word(">x a(b)c(d)"), "abc(d)");
  EXPECT_EQ(header_word(">x\t\tword\tmore"), "word");
  EXPECT_EQ(header_word("> acc desc"), "acc");  // ">" alone is the first word

  const auto s = read(">seq1 (1abc) globin\nMK\n>short\nAA\n");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].id, "seq1 (1abc   ");  // characters 2 to 11, padded to 13
  EXPECT_EQ(s[0].id.size(), 13u);
  EXPECT_EQ(s[1].id, "short        ");
  EXPECT_EQ(s[0].header_word, "1abc");
}

TEST(FastaInput, SequenceFileInLinesOfSixty) {
  FastaSequence s;
  s.header_word = "1abc";
  s.residues = std::string(60, 'A') + std::string(61, 'C');
  EXPECT_EQ(xk::driver::sequence_file_text(s),
            ">1abc\n" + std::string(60, 'A') + "\n" + std::string(60, 'C') + "\nC\n");
  s.header_word.clear();
  s.residues = "MK";
  EXPECT_EQ(xk::driver::sequence_file_text(s), ">\nMK\n");
}

TEST(FastaInput, ResidueTextMatchesItsProfile) {
  // CR LF line ends, lower case, blanks, tabs, gaps and dots inside lines, a
  // final "*": all read as the plain upper-case text.
  const auto s = read(">a x\r\nmk v\r\n-L.S\t*\r\n>b\r\nAC\r\n");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].residues, "MKVLS");
  EXPECT_EQ(s[0].id, "a x          ");  // no CR in the identifier
  EXPECT_EQ(s[0].header_word, "x");
  EXPECT_EQ(s[1].residues, "AC");
  EXPECT_TRUE(s[0].warnings.empty());
  // Ambiguity letters stay; a star followed only by removable characters
  // (also on later lines) is dropped.
  EXPECT_EQ(read(">a\nBZX*\n--\n>b\nA\n")[0].residues, "BZX");
}

TEST(FastaInput, RareResiduesReadAsXWithWarning) {
  const auto s = read(">selP\nMKuAO\nj\n");
  ASSERT_EQ(s.size(), 1u);
  EXPECT_EQ(s[0].residues, "MKXAXX");
  ASSERT_EQ(s[0].warnings.size(), 3u);
  EXPECT_EQ(s[0].warnings[0], "WARNING: Sequence 1 (selP) position 3: U read as X");
  EXPECT_EQ(s[0].warnings[1], "WARNING: Sequence 1 (selP) position 5: O read as X");
  EXPECT_EQ(s[0].warnings[2], "WARNING: Sequence 1 (selP) position 6: J read as X");
}

TEST(FastaInput, OtherCharactersStopNamingThePlace) {
  EXPECT_EQ(stop_message(">a\nMK\n>b2 x\nMK V\nA1C\n"),
            "ERROR: Sequence 2 (b2 x) position 5: character \"1\" is not a residue letter (line 5, column 2 of "
            "in.fa)!!!");
  EXPECT_EQ(stop_message(">a\nMK*V\n"),
            "ERROR: Sequence 1 (a) position 3: character \"*\" is not a residue letter (line 2, column 3 of "
            "in.fa)!!!");
  EXPECT_EQ(stop_message(">a\nM*\nV\n"),
            "ERROR: Sequence 1 (a) position 2: character \"*\" is not a residue letter (line 2, column 2 of "
            "in.fa)!!!");
  EXPECT_EQ(stop_message(">a\nM\x01K\n"),
            "ERROR: Sequence 1 (a) position 2: character code 0x01 is not a residue letter (line 2, column 2 of "
            "in.fa)!!!");
  EXPECT_NE(stop_message(">a\nM>K\n").find("character \">\""), std::string::npos);
  EXPECT_NE(stop_message(">a\nM~K\n").find("character \"~\""), std::string::npos);
}

TEST(FastaInput, LinesAreReadWhole) {
  const std::string line(2500, 'W');
  const auto s = read(">long\n" + line + "\nAC\n");
  EXPECT_EQ(s[0].residues, line + "AC");
  EXPECT_TRUE(s[0].warnings.empty());
}

TEST(FastaInput, LongSequenceCutWithWarning) {
  const auto s = read(">huge\n" + std::string(10005, 'A') + "\n");
  EXPECT_EQ(s[0].residues.size(), 9999u);
  ASSERT_EQ(s[0].warnings.size(), 1u);
  EXPECT_EQ(s[0].warnings[0], "WARNING: Sequence 1 (huge) has 10005 residues; only the first 9999 are used");
}

TEST(FastaInput, UnusableInputIsRefused) {
  EXPECT_EQ(stop_message(""), "ERROR: The input file in.fa is empty!!!");
  EXPECT_EQ(stop_message("\n  \n"), "ERROR: No header line (a line beginning with \">\") in in.fa!!!");
  EXPECT_EQ(stop_message("MKV\nLLA\n"), "ERROR: Text before the first header line (line 1 of in.fa)!!!");
  EXPECT_EQ(stop_message("\nMKV\n>a\nA\n"), "ERROR: Text before the first header line (line 2 of in.fa)!!!");
  EXPECT_EQ(stop_message(">a\n>b\nMK\n"), "ERROR: Sequence 1 (a) has no residues!!!");
  EXPECT_EQ(stop_message(">a\nMK\n>b\n -.\n"), "ERROR: Sequence 2 (b) has no residues!!!");
  EXPECT_EQ(stop_message(">a\nMK\n>b\n*\n"), "ERROR: Sequence 2 (b) has no residues!!!");
  // Blank lines before the first header are harmless.
  EXPECT_EQ(read("\n \n>a\nMK\n").size(), 1u);
}

TEST(FastaInput, EqualIdentifiersWarn) {
  const auto s = read(">sameprefix1 a\nA\n>other\nC\n>sameprefix2 b\nD\n");
  ASSERT_EQ(s.size(), 3u);
  EXPECT_TRUE(s[0].warnings.empty());
  EXPECT_TRUE(s[1].warnings.empty());
  ASSERT_EQ(s[2].warnings.size(), 1u);
  EXPECT_EQ(s[2].warnings[0], "WARNING: Sequences 1 and 3 have the same identifier (sameprefix)");
}

}  // namespace
