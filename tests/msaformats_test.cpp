// The final alignment with every residue and the writers of the formats
// other tools read: full-length rows, unique names, structure texts, the
// Clustal conservation line, the GCG check and the Newick tree.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "common/ending.hpp"
#include "msaformats/full_length.hpp"
#include "msaformats/newick.hpp"
#include "msaformats/writers.hpp"

namespace {

using namespace xk::msa;

std::string ungapped(const std::string& row) {
  std::string s;
  for (char c : row)
    if (!is_gap(c)) s += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(FullLengthRows, TerminiGoInColumnsOfTheirOwnAroundTheAlignedBlock) {
  // Sequence 1 is aligned from residue 3, sequence 2 from residue 1 with a
  // gap of the assembly inside, sequence 3 has an X kept in place and a long
  // tail; the block is three columns.
  const std::vector<std::string> names = {"a", "b", "c"};
  const std::vector<std::string> seqs = {"MKTAYW", "TAYGG", "GXAY"};
  const std::vector<std::string> assembled = {"TAY", "T.A", "XAY"};
  const FullLength f = full_length_rows(names, seqs, assembled, std::vector<int>{3, 1, 2});
  EXPECT_EQ(f.leading, 2u);
  EXPECT_EQ(f.block, 3u);
  EXPECT_EQ(f.trailing, 3u);
  EXPECT_EQ(f.rows, (std::vector<std::string>{"mkTAYw..", "..T-Aygg", ".gXAY..."}));
  for (std::size_t s = 0; s < seqs.size(); ++s) EXPECT_EQ(ungapped(f.rows[s]), seqs[s]);

  // A row whose letters are not the sequence's residues there is refused,
  // and so is one that holds more letters than the sequence has left.
  EXPECT_THROW(full_length_rows(names, seqs, std::vector<std::string>{"TAW", "T.A", "XAY"}, std::vector<int>{3, 1, 2}),
               xk::FatalStop);
  EXPECT_THROW(full_length_rows(names, seqs, assembled, std::vector<int>{5, 1, 2}), xk::FatalStop);
}

TEST(Names, IdentifierIsTheFirstHeaderWordAndRepeatsGetTheSmallestFreeSuffix) {
  EXPECT_EQ(identifier(">sp|P69905|HBA_HUMAN Hemoglobin subunit alpha", 1), "sp|P69905|HBA_HUMAN");
  EXPECT_EQ(identifier(">\t name\tmore", 1), "name");
  EXPECT_EQ(identifier(">", 7), "seq7");
  EXPECT_EQ(identifier(">   ", 2), "seq2");
  EXPECT_EQ(unique_names(std::vector<std::string>{"a", "a", "a_2", "b", "a", "b"}),
            (std::vector<std::string>{"a", "a_3", "a_2", "b", "a_4", "b_2"}));
}

TEST(Structure, ClassTotalsPerResiduePlacedInRowsAndParentColumns) {
  // Four states: begin, a helix, a strand and a coil state.
  const std::string letters = {' ', structure_letter("HELIX"), structure_letter("STRAND"), structure_letter("NCAP")};
  EXPECT_EQ(structure_letter("HELIX_N1"), 'H');
  EXPECT_EQ(structure_letter("STRAND_END"), 'E');
  EXPECT_EQ(structure_letter("COIL_N"), 'C');
  EXPECT_EQ(letters, " HEC");
  const std::vector<float> gamma = {0.9f, 0.05f, 0.0f, 0.1f,    // the begin state counts for nothing
                                    0.0f, 0.2f, 0.5f, 0.3f,     // E
                                    0.0f, 0.4f, 0.2f, 0.4f};    // H and C tie: H
  EXPECT_EQ(residue_structure(gamma, letters), "CEH");
  EXPECT_EQ(row_structure("..c-EH", "CEH"), "..C.EH");
  EXPECT_THROW(row_structure("CEHA", "CEH"), xk::FatalStop);
  // Parent residues 2, none, 1 in the three block columns after two
  // unaligned columns.
  EXPECT_EQ(consensus_structure(6, 2, std::vector<int>{2, 0, 1}, "HE"), "..E.H.");
}

Alignment three_rows() {
  Alignment a;
  a.names = {"first", "second_one", "x"};
  a.rows = {"mWKSLSVD.", ".WRTLAVEk", "..KSFGV-."};
  return a;
}

TEST(Writers, GapsCaseAndConservationFollowEachFormat) {
  const Alignment a = three_rows();
  EXPECT_EQ(to_fasta(a), ">first\nmWKSLSVD-\n>second_one\n-WRTLAVEk\n>x\n--KSFGV--\n");
  EXPECT_EQ(to_a2m(a), ">first\nmWKSLSVD.\n>second_one\n.WRTLAVEk\n>x\n..KSFGV-.\n");
  // Columns with a gap: blank; KRK, STS and LLF: strong groups; SAG: a weak
  // group only; VVV: identical.
  EXPECT_EQ(conservation(a), "  :::.*  ");
  EXPECT_EQ(to_clustal(a), "CLUSTAL multiple sequence alignment by xKESTRA\n\n\n"
                           "first         mWKSLSVD-\n"
                           "second_one    -WRTLAVEk\n"
                           "x             --KSFGV--\n"
                           "                :::.*  \n");
  EXPECT_EQ(to_stockholm(a),
            "# STOCKHOLM 1.0\n\nfirst      mWKSLSVD.\nsecond_one .WRTLAVEk\nx          ..KSFGV-.\n//\n");
  // Lines of 60 columns in FASTA.
  Alignment wide;
  wide.names = {"w"};
  wide.rows = {std::string(61, 'A')};
  EXPECT_EQ(to_fasta(wide), ">w\n" + std::string(60, 'A') + "\nA\n");
}

TEST(Writers, MsfCarriesLengthsAndGcgChecks) {
  EXPECT_EQ(gcg_check("a"), 65);
  EXPECT_EQ(gcg_check(std::string(58, 'A')), (65 * (57 * 58 / 2) + 65) % 10000);
  const std::string msf = to_msf(three_rows());
  const int c1 = gcg_check("mWKSLSVD."), c2 = gcg_check(".WRTLAVEk"), c3 = gcg_check("..KSFGV..");
  EXPECT_NE(msf.find(" MSF: 9  Type: P  Check: " + std::to_string((c1 + c2 + c3) % 10000) + "  ..\n"),
            std::string::npos);
  EXPECT_NE(msf.find(" Name: second_one  Len: 9  Check: " + std::to_string(c2) + "  Weight: 1.00\n"),
            std::string::npos);
  EXPECT_NE(msf.find("\n//\n\nfirst       mWKSLSVD.\n"), std::string::npos);
  EXPECT_NE(msf.find("\nx           ..KSFGV..\n"), std::string::npos);
}

TEST(Newick, JoinsBecomeInternalNodesAtHalfTheDissimilarity) {
  const std::vector<std::string> leaves = {"A", "B_b", "C", "it's"};
  const std::vector<TreeJoin> joins = {{"1", "3", "1-3", 0.8}, {"2", "4", "2-4", 0.6}, {"1-3", "2-4", "all", 0.2}};
  EXPECT_EQ(newick_tree(leaves, joins),
            "((A:0.10000,C:0.10000):0.30000,('B_b':0.20000,'it''s':0.20000):0.20000);\n");
  // Groups the merge order left apart hang from a root at height 1, so n
  // leaves still make n - 1 internal nodes; one leaf is the whole tree.
  EXPECT_EQ(newick_tree(std::vector<std::string>{"A", "B", "C"}, std::vector<TreeJoin>{{"2", "3", "2-3", 0.6}}),
            "(A:1.00000,(B:0.20000,C:0.20000):0.80000);\n");
  EXPECT_EQ(newick_tree(std::vector<std::string>{"only one"}, {}), "'only one';\n");
}

TEST(Formats, NamesAreExact) {
  EXPECT_EQ(parse_format("stockholm"), Format::stockholm);
  EXPECT_EQ(parse_format("a2m"), Format::a2m);
  EXPECT_FALSE(parse_format("Fasta"));
  EXPECT_FALSE(parse_format(""));
}

}  // namespace
